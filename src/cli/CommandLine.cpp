#include "cli/CommandLine.h"

#include "BuildInfo.h"
#include "cli/AdvisorTestMode.h"
#include "cli/AutoFormatMode.h"
#include "cli/FormatMode.h"
#include "cli/GigaAMTestMode.h"
#include "cli/HallucinationTestMode.h"
#include "cli/ParseTestMode.h"
#include "cli/RemoteControlMode.h"
#include "cli/SpeechTestMode.h"
#include "cli/TranscribeMode.h"
#include "cli/TypographyTestMode.h"
#include "cli/UpdateNowMode.h"
#include "core/Console.h"
#include "engines/WhisperGpu.h"
#include "update/UpdateKeys.h"

#include <QCoreApplication>

#include <cstdlib>
#include <functional>
#include <vector>

namespace
{

int printVersion(const QStringList&)
{
    Console::print(QStringLiteral("Толван %1 (сборка %2)")
                       .arg(QLatin1String(BuildInfo::shortVersion), QLatin1String(BuildInfo::buildNumber)));
    Console::print(UpdateKeys::description());
    return 0;
}

// Asked in this short-lived process because the drivers the loader lets go keep their memory: it ends right after
// the answer, before the exit's destructors and leak check would go through what the drivers left behind.
[[noreturn]] int printVulkanDevices(const QStringList&)
{
    Console::print(WhisperGpu::report(VulkanDevices::list()).trimmed());
    std::_Exit(0);
}

int printUsage(const QStringList&)
{
    Console::print(CommandLine::usage());
    return 0;
}

struct Mode
{
    QString flag;
    // Counted with the program itself: 3 means the flag and one parameter.
    int minimumArgumentCount;
    QStringView parameters;
    QStringView summary;
    std::function<int(const QStringList& arguments)> run;
};

// Order matters: the first match wins.
const std::vector<Mode>& modes()
{
    static const std::vector<Mode> list = [] {
        std::vector<Mode> list{
            {QStringLiteral("--format"), 2, u"[markdown|plain] [ТЕКСТ]",
             u"обработать текст как диктовку: очистка, словарь, команды, макросы, типографика (без текста — "
             u"стандартный ввод)",
             FormatMode::run},
            {QStringLiteral("--auto-format"), 3, u"СЕГМЕНТЫ.json",
             u"авторазметка по паузам для списка сегментов, затем форматирование", AutoFormatMode::run},
            {QStringLiteral("--typography-test"), 3, u"ТЕКСТ",
             u"показать, что типографика делает с текстом и какие правила сработали", TypographyTestMode::run},
            {QStringLiteral("--halluc-test"), 3, u"ТЕКСТ…", u"проверить тексты фильтром галлюцинаций",
             HallucinationTestMode::run},
            {QStringLiteral("--advisor-test"), 3, u"ТЕКСТ [СИЛА 0–10] [СТИЛЬ]", u"спросить ИИ-советника о стиле фразы",
             AdvisorTestMode::run},
            {QStringLiteral("--speech-test"), 3, u"ТЕКСТ",
             u"проверить качество речи: слова-паразиты, повторы, оценка и очищенный текст", SpeechTestMode::run},
            {QStringLiteral("--parse-test"), 3, u"ФАЙЛ.json",
             u"разобрать сохранённый ответ whisper-server и показать сегменты", ParseTestMode::run},
            {QStringLiteral("--gigaam-test"), 3, u"ФАЙЛ.wav [--json]", u"распознать wav-файл моделью GigaAM",
             GigaAMTestMode::run},
            {QStringLiteral("--transcribe"), 3, u"ФАЙЛ",
             u"распознать аудиофайл (wav, flac, ogg, opus, mp3, m4a) активной моделью и вывести текст",
             TranscribeMode::run},
            {QStringLiteral("--update-now"), 3, u"URL_ФИДА", u"установить новую версию из фида обновлений без окон",
             UpdateNowMode::run},
            {QStringLiteral("--vulkan-devices"), 2, u"", u"перечислить устройства Vulkan: видеокарты и программные",
             printVulkanDevices},
        };
        for (const RemoteCommand::Entry& command : RemoteCommand::all()) {
            if (!command.summary.isEmpty())
                list.push_back({QStringLiteral("--") + command.name, 2, u"", command.summary,
                                [kind = command.kind](const QStringList&) { return RemoteControlMode::run(kind); }});
        }
        list.push_back({QStringLiteral("--version"), 2, u"", u"показать версию", printVersion});
        list.push_back({QStringLiteral("--help"), 2, u"", u"показать этот список", printUsage});
        return list;
    }();
    return list;
}

QStringList argumentList(int argc, char** argv)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromUtf8(argv[index]));
    return arguments;
}

} // namespace

namespace CommandLine
{

std::optional<size_t> selectMode(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    for (size_t index = 0; index < modes().size(); ++index) {
        if (arguments.at(1) == modes()[index].flag && arguments.size() >= modes()[index].minimumArgumentCount)
            return index;
    }
    return std::nullopt;
}

std::optional<int> run(int& argc, char** argv)
{
    const QStringList arguments = argumentList(argc, argv);
    const auto selected = selectMode(arguments);
    if (!selected)
        return std::nullopt;
    QCoreApplication application(argc, argv);
    return modes()[*selected].run(arguments);
}

QString usage()
{
    QStringList lines{QStringLiteral("Толван — локальная голосовая диктовка."),
                      QStringLiteral("Без аргументов запускается приложение в системном трее. Режимы:")};
    for (const Mode& mode : modes()) {
        const QString call = QStringLiteral("tolvan %1 %2").arg(mode.flag, mode.parameters).trimmed();
        lines.append(QStringLiteral("  %1 — %2").arg(call, mode.summary));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace CommandLine
