#include "core/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace
{

QString programFromEnvironmentOr(const char* variable, const QString& bundled)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? bundled : value;
}

} // namespace

namespace Resources
{

QString applicationExecutable()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString bundledApp()
{
    return QDir::cleanPath(directory() + QStringLiteral("/../../bin/tolvan"));
}

QString directory()
{
    const QString value = qEnvironmentVariable("TOLVAN_RESOURCES_DIR");
    if (!value.isEmpty())
        return QDir::cleanPath(value);
    const QString binDir = QFileInfo(applicationExecutable()).absolutePath();
    return QDir::cleanPath(binDir + QStringLiteral("/../share/tolvan"));
}

QString path(const QString& relative)
{
    return directory() + QLatin1Char('/') + relative;
}

bool isPackageManaged()
{
    return QFileInfo::exists(path(packageMark));
}

QString whisperServer()
{
    return programFromEnvironmentOr("TOLVAN_WHISPER_BIN", bundledWhisperServer());
}

QString bundledWhisperServer()
{
    return path(QStringLiteral("bin/whisper-server"));
}

QString bundledWhisperServerVulkan()
{
    return path(QStringLiteral("bin/whisper-server-vulkan"));
}

QString sherpaOffline()
{
    return programFromEnvironmentOr("TOLVAN_SHERPA_BIN", bundledSherpaOffline());
}

QString bundledSherpaOffline()
{
    return path(QStringLiteral("sherpa/bin/sherpa-onnx-offline"));
}

QString sherpaLibrary()
{
    return path(QStringLiteral("sherpa/bin/libsherpa-onnx-c-api.so"));
}

QString voiceModel()
{
    return programFromEnvironmentOr("TOLVAN_VAD_MODEL", path(QStringLiteral("vad/silero_vad_v5.onnx")));
}

QString llamaServer()
{
    return programFromEnvironmentOr("TOLVAN_LLAMA_BIN", bundledLlamaServer());
}

QString bundledLlamaServer()
{
    return path(QStringLiteral("llama/bin/llama-server"));
}

} // namespace Resources
