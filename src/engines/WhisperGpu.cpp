#include "engines/WhisperGpu.h"

#include "core/Log.h"
#include "core/Resources.h"

#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <future>

namespace WhisperGpu
{

namespace
{

const QString hardwarePrefix = QStringLiteral("видеокарта: ");
const QString softwarePrefix = QStringLiteral("программный: ");
constexpr int answerTimeoutMs = 10000;

bool ask()
{
    if (!QFileInfo(Resources::bundledWhisperServerVulkan()).isExecutable())
        return false;
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(Resources::bundledApp(), {QStringLiteral("--vulkan-devices")});
    if (!child.waitForFinished(answerTimeoutMs)) {
        child.kill();
        child.waitForFinished();
        Log::info(QStringLiteral("Vulkan: устройства не перечислены (%1)").arg(child.errorString()));
        return false;
    }
    const QString answer = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const bool hardware =
        child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && reportsHardware(answer);
    Log::info(QStringLiteral("Vulkan: %1; whisper-server %2")
                  .arg(answer.isEmpty() ? QStringLiteral("устройств нет")
                                        : QString(answer).replace(QLatin1Char('\n'), QStringLiteral("; ")),
                       hardware ? QStringLiteral("на видеокарте") : QStringLiteral("на процессоре")));
    return hardware;
}

std::shared_future<bool>& answer()
{
    static std::shared_future<bool> pending = std::async(std::launch::async, ask).share();
    return pending;
}

} // namespace

void probe()
{
    answer();
}

bool accelerated()
{
    return answer().get();
}

QString report(const std::vector<VulkanDevices::Device>& devices)
{
    QString lines;
    for (const VulkanDevices::Device& device : devices)
        lines += (device.software ? softwarePrefix : hardwarePrefix) + device.name + u'\n';
    return lines;
}

bool reportsHardware(const QString& report)
{
    const QStringList lines = report.split(u'\n');
    return std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith(hardwarePrefix); });
}

} // namespace WhisperGpu
