#pragma once

#include "RunningApp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <map>

// What the desktop tests under headless Wayland compositors share: the compositor, the app in its session, a
// dictation through the desktop's shortcut.

// A headless compositor (start-compositor.sh beside this file) for as long as the object lives; `arguments` go to the
// script after the compositor's name.
class Compositor
{
public:
    explicit Compositor(const QString& name, const QStringList& arguments = {})
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/start-compositor.sh"), QStringList{name} + arguments);
        (void)QTest::qWaitFor(
            [&] {
                while (process_.canReadLine()) {
                    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                    const qsizetype equals = line.indexOf(u'=');
                    if (line.startsWith(QLatin1String("UNAVAILABLE ")))
                        problem_ = line.mid(12);
                    else if (equals > 0)
                        values_.insert(line.left(equals), line.mid(equals + 1));
                }
                return isRunning() || !problem_.isEmpty() || process_.state() == QProcess::NotRunning;
            },
            20000);
        if (!isRunning() && problem_.isEmpty())
            problem_ = name + QStringLiteral(" did not come up");
    }
    ~Compositor()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }

    bool isRunning() const { return values_.contains(QStringLiteral("WAYLAND_DISPLAY")); }
    // The copy of the app the compositor's user can reach, when it could not reach the one under test; empty else.
    QString programCopy() const { return values_.value(QStringLiteral("PROGRAM")); }
    // Sends the compositor itself a signal: SIGSTOP stands for a compositor that hangs, SIGTERM for a logout.
    void signal(int number) const
    {
        ::kill(static_cast<pid_t>(values_.value(QStringLiteral("PID")).toLongLong()), number);
    }
    std::string problem() const { return problem_.toStdString(); }

    // The session of a program started inside the compositor's desktop: its Wayland socket, and its XWayland
    // where it runs one (else the rig's X server).
    QProcessEnvironment session() const
    {
        QProcessEnvironment environment;
        // mutter's remote desktop is on a session bus of the rig's.
        for (const QString& name : {QStringLiteral("DISPLAY"), QStringLiteral("DBUS_SESSION_BUS_ADDRESS")}) {
            if (values_.contains(name))
                environment.insert(name, values_.value(name));
        }
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), values_.value(QStringLiteral("WAYLAND_DISPLAY")));
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        // The compositor is told by what it offers.
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QString());
        return environment;
    }

    // The Qt text field as an X11 program of the compositor's XWayland; an accessible one reports to the
    // accessibility bus of the compositor's session, as Qt programs do once accessibility is on.
    std::unique_ptr<TextFieldWindow> x11TextField(bool accessible = false) const
    {
        QStringList command{QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY"))};
        if (accessible)
            command << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") +
                           values_.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"))
                    << QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");
        return std::make_unique<TextFieldWindow>(command << QStringLiteral(TOLVAN_FAKES_DIR "/text-field"),
                                                 QStringLiteral("env"));
    }

    // The X11 window active on the compositor's XWayland: its title, or empty.
    QString activeX11WindowName() const
    {
        QString name;
        DesktopRig::run(QStringLiteral("env"),
                        {QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY")),
                         QStringLiteral("xdotool"), QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")},
                        &name);
        return name.trimmed();
    }

    // The GTK text field as a native client of the compositor, with its own app_id or the field's; an accessible one
    // reports to the accessibility bus of the compositor's session. A terminal one is a VTE terminal instead, a
    // password one a password entry, a chat one a messenger's entry that sends and empties itself on Enter.
    enum class Field
    {
        text,
        terminal,
        password,
        chat,
    };
    std::unique_ptr<TextFieldWindow> nativeTextField(bool accessible = false, Field kind = Field::text,
                                                     const QString& appId = {}) const
    {
        QStringList command{QStringLiteral("RIG_ACCESSIBILITY_BUS=") +
                                (accessible ? values_.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")) : QString()),
                            QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/run-client.sh"),
                            values_.value(QStringLiteral("RUNTIME")),
                            values_.value(QStringLiteral("WAYLAND_DISPLAY")),
                            QStringLiteral("python3"),
                            QStringLiteral(TOLVAN_GTK_TEXT_FIELD)};
        const std::map<Field, QString> options{{Field::terminal, QStringLiteral("--terminal")},
                                               {Field::password, QStringLiteral("--password")},
                                               {Field::chat, QStringLiteral("--chat")}};
        if (kind != Field::text)
            command << options.at(kind);
        if (!appId.isEmpty())
            command << appId;
        return std::make_unique<TextFieldWindow>(command, QStringLiteral("env"));
    }

    // Runs xdotool on the compositor's XWayland; what it printed.
    QString xdotool(const QStringList& arguments) const
    {
        QString output;
        DesktopRig::run(QStringLiteral("env"),
                        QStringList{QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY")),
                                    QStringLiteral("xdotool")} +
                            arguments,
                        &output);
        return output.trimmed();
    }

    // The arguments of run-client.sh for a native client of the compositor.
    QStringList clientCommand(const QStringList& command) const
    {
        return QStringList{values_.value(QStringLiteral("RUNTIME")), values_.value(QStringLiteral("WAYLAND_DISPLAY"))} +
               command;
    }
    // Runs a native client of the compositor to its end, e.g. wl-copy; its exit code, or -1.
    int runClient(const QStringList& command, QString* output = nullptr) const
    {
        return DesktopRig::run(QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/run-client.sh"), clientCommand(command), output);
    }
    // sway's focused native window: its app_id, or empty.
    QString focusedAppId() const
    {
        QString tree;
        runClient({QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("swaymsg -s \"$(ls \"$XDG_RUNTIME_DIR\"/sway-ipc.*.sock)\" -t get_tree")},
                  &tree);
        return focusedIn(QJsonDocument::fromJson(tree.toUtf8()).object());
    }
    // The seat's clipboard as native windows get it.
    QString nativeClipboard() const
    {
        QString text;
        runClient({QStringLiteral("wl-paste"), QStringLiteral("--no-newline")}, &text);
        return text;
    }

private:
    static QString focusedIn(const QJsonObject& node)
    {
        if (node.value(QStringLiteral("focused")).toBool())
            return node.value(QStringLiteral("app_id")).toString();
        for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray()) {
            if (const QString found = focusedIn(child.toObject()); !found.isEmpty())
                return found;
        }
        return {};
    }

    QProcess process_;
    QHash<QString, QString> values_;
    QString problem_;
};

inline const QString phrase = QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода.");

// The app in the compositor's session with the recognizer answering dictation_commands.json, ready to dictate. The
// fake recognizer answers every request alike: the recording goes to it whole, in one request.
inline std::unique_ptr<RunningApp> startApp(const QProcessEnvironment& session, QVariantHash settings = {})
{
    TestFiles::write(Paths::dataDir() + QStringLiteral("/corrections.json"), R"({"линукс": "Linux"})");
    settings.insert(SettingsKey::recognizeWhileRecording, false);
    return std::make_unique<RunningApp>(answering(QStringLiteral("dictation_commands.json"), session), settings);
}

// The desktop's shortcut for `tolvan --toggle`, twice around the spoken phrase.
inline void dictateWithTheCommand(const RunningApp& app)
{
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись начата")));
    RunningApp::say(phrase);
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
}

inline const QString expectedField = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");
inline const QString expectedText = QStringLiteral("Привет, это проверка Linuxа.\n\nВторая часть текста.");
