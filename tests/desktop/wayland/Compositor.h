#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// A headless Wayland compositor of the test's own, with XWayland, started by start-compositor.sh in this folder.
// Compositors refuse to run as root: under root it and its clients run as an unprivileged user.
class Compositor
{
public:
    // "mutter"; waits until the compositor is ready or has failed.
    explicit Compositor(const QString& name)
    {
        process_.start(script(QStringLiteral("start-compositor.sh")), {name});
        ready_ = QTest::qWaitFor(
                     [this] {
                         while (process_.canReadLine())
                             take(QString::fromUtf8(process_.readLine()).trimmed());
                         return announced_ || process_.state() == QProcess::NotRunning;
                     },
                     30000) &&
                 announced_;
    }
    ~Compositor()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished(3000);
    }

    bool isReady() const { return ready_; }
    // Why it did not start: the script's messages.
    QString failure() { return QString::fromUtf8(process_.readAllStandardError()); }

    // What a program needs to join the session: WAYLAND_DISPLAY, DISPLAY (XWayland), XAUTHORITY,
    // DBUS_SESSION_BUS_ADDRESS.
    const QProcessEnvironment& environment() const { return environment_; }

    // The program and arguments that run a program as the compositor's user inside its session.
    QString clientLauncher() const { return script(QStringLiteral("as-compositor-user.sh")); }
    QStringList clientArguments(const QStringList& command) const { return QStringList{runtimeDir_} + command; }

private:
    static QString script(const QString& name) { return QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/") + name; }

    void take(const QString& line)
    {
        const qsizetype equals = line.indexOf(u'=');
        if (line == QLatin1String("READY"))
            announced_ = true;
        else if (line.startsWith(QLatin1String("COMPOSITOR_RUNTIME_DIR=")))
            runtimeDir_ = line.mid(equals + 1);
        else if (equals > 0)
            environment_.insert(line.left(equals), line.mid(equals + 1));
    }

    QProcess process_;
    QProcessEnvironment environment_;
    QString runtimeDir_;
    bool announced_ = false;
    bool ready_ = false;
};
