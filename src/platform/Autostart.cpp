#include "platform/Autostart.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "core/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

Error failure(const QString& description)
{
    return Error::system(QStringLiteral("Autostart"), 1, description);
}

// Hidden=true, or GNOME's own switch X-GNOME-Autostart-enabled=false, in the main group.
bool isSwitchedOff(const QByteArray& content)
{
    bool inMainGroup = false;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed(), value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

Result<Done> writeEntry()
{
    const QString path = Paths::autostartFile();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return failure(QStringLiteral("не удалось создать папку %1").arg(folder));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Autostart::entry(Resources::applicationExecutable())) < 0 ||
        !file.commit())
        return failure(QStringLiteral("не удалось записать %1: %2").arg(path, file.errorString()));
    Log::info(QStringLiteral("Автозапуск включён: ") + path);
    return Done{};
}

Result<Done> removeEntry()
{
    QFile file(Paths::autostartFile());
    if (!file.exists())
        return Done{};
    if (!file.remove())
        return failure(QStringLiteral("не удалось удалить %1: %2").arg(file.fileName(), file.errorString()));
    Log::info(QStringLiteral("Автозапуск выключен"));
    return Done{};
}

} // namespace

namespace Autostart
{

bool isEnabled()
{
    QFile file(Paths::autostartFile());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    return !isSwitchedOff(file.readAll());
}

Result<Done> setEnabled(bool enabled)
{
    return enabled ? writeEntry() : removeEntry();
}

QByteArray entry(const QString& executable)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Толван\n"
                          "Comment=Локальная голосовая диктовка на русском языке\n"
                          "Exec=%1\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(executable))
        .toUtf8();
}

QString execArgument(const QString& executable)
{
    QString quoted;
    for (const QChar c : executable) {
        // Inside the quotes these four need a backslash; the value's own escaping then doubles every
        // backslash, and a percent sign is a field code unless doubled.
        if (c == u'"' || c == u'`' || c == u'$')
            quoted += QStringLiteral("\\\\");
        else if (c == u'\\')
            quoted += QStringLiteral("\\\\\\");
        quoted += c == u'%' ? QStringLiteral("%%") : QString(c);
    }
    return u'"' + quoted + u'"';
}

} // namespace Autostart
