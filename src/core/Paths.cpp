#include "core/Paths.h"

#include <QDir>

namespace
{

QString absoluteFromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

QString xdgDirectory(const char* name, const char* fallbackBelowHome)
{
    const QString value = absoluteFromEnvironment(name);
    return value.isEmpty() ? Paths::home() + QLatin1Char('/') + QLatin1String(fallbackBelowHome) : value;
}

} // namespace

namespace Paths
{

QString home()
{
    const QString value = absoluteFromEnvironment("HOME");
    return value.isEmpty() ? QDir::homePath() : value;
}

QString configHome()
{
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}

QString dataHome()
{
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

QString stateHome()
{
    return xdgDirectory("XDG_STATE_HOME", ".local/state");
}

QString cacheHome()
{
    return xdgDirectory("XDG_CACHE_HOME", ".cache");
}

QString configDir()
{
    return configHome() + QStringLiteral("/Tolvan");
}

QString settingsFile()
{
    return configDir() + QStringLiteral("/Tolvan.conf");
}

QString dataDir()
{
    return dataHome() + QStringLiteral("/Tolvan");
}

QString modelsDir()
{
    return dataDir() + QStringLiteral("/models");
}

QString advisorModelsDir()
{
    return modelsDir() + QStringLiteral("/advisor");
}

QString logDir()
{
    return stateHome() + QStringLiteral("/Tolvan");
}

QString cacheDir()
{
    return cacheHome() + QStringLiteral("/Tolvan");
}

QString autostartFile()
{
    return configHome() + QStringLiteral("/autostart/tolvan.desktop");
}

QString installDir()
{
    const QString value = absoluteFromEnvironment("TOLVAN_INSTALL_DIR");
    return value.isEmpty() ? home() + QStringLiteral("/.local/opt/Толван.app") : value;
}

} // namespace Paths
