#pragma once

#include "support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// The desktop session of tests/desktop/with-desktop.sh: its X server, clipboard, keyboard and microphone.
namespace DesktopRig
{

inline bool isAvailable()
{
    return qEnvironmentVariable("TOLVAN_TEST_DESKTOP") == QLatin1String("1");
}

// Outside the desktop session every test skips; without this even listing them would need a display.
inline const bool headlessOutsideTheSession = [] {
    if (!isAvailable())
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    return true;
}();

inline bool finishes(QProcess& process, int timeoutMs = 10000)
{
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

// Starts a program, feeds it the input and returns at once.
inline std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments,
                                       const QByteArray& input = {})
{
    // Its output comes to us: a program that stays behind (xclip serving the selection) must not hold the test
    // runner's pipes open.
    auto process = std::make_unique<QProcess>();
    process->start(program, arguments);
    process->waitForStarted(5000);
    process->write(input);
    process->closeWriteChannel();
    return process;
}

// Runs a program to its end (at most timeoutMs) while the event loop keeps running; its exit code, or -1.
inline int run(const QString& program, const QStringList& arguments, QString* output = nullptr, int timeoutMs = 10000)
{
    const auto process = start(program, arguments);
    if (!finishes(*process, timeoutMs)) {
        process->kill();
        process->waitForFinished(1000);
        return -1;
    }
    if (process->error() == QProcess::FailedToStart)
        return -1;
    if (output)
        *output = QString::fromUtf8(process->readAllStandardOutput());
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

// Our own XTEST key tool: steps like "down:Alt_R", "sleep:500", "up:Alt_R".
inline std::unique_ptr<QProcess> keys(const QStringList& steps)
{
    return start(QStringLiteral(TOLVAN_FAKES_DIR "/xkey"), steps);
}

inline void xdotool(const QStringList& arguments)
{
    ASSERT_EQ(run(QStringLiteral("xdotool"), arguments), 0) << arguments.join(u' ').toStdString();
}

// xdotool key presses, e.g. "super+shift+space", posted one after another. They reach the X server in order
// but are handled by their receivers later: wait for the receiver's reaction before relying on it.
inline void press(const QStringList& presses)
{
    for (const QString& keys : presses)
        xdotool({QStringLiteral("key"), keys});
}

// Whether a log shows every keystroke the app began to post as fully posted (all its keys released again).
inline bool keystrokesPosted(const QString& log)
{
    return log.count(QStringLiteral("Отправляю нажатие клавиш")) ==
           log.count(QStringLiteral("Нажатие клавиш отправлено")) +
               log.count(QStringLiteral("Не удалось отправить нажатие клавиш"));
}

// After seeing an effect of the app's keystroke (a pasted text), waits until the keystroke is complete: a key
// pressed earlier would otherwise arrive with the app's Ctrl still held.
inline bool waitUntilKeystrokesPosted(const std::function<QString()>& log, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return keystrokesPosted(log()); }, timeoutMs);
}

inline QString activeWindowName()
{
    QString name;
    run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")}, &name);
    return name.trimmed();
}

using TestEnvironment::appLog;

inline int setLayout(const QString& layout)
{
    return run(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout});
}

// A selection ("clipboard" or "primary") as another program sees it; empty when nobody owns it.
inline QString selection(const QString& name)
{
    QString text;
    run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), name}, &text, 5000);
    return text;
}

inline QString clipboard()
{
    return selection(QStringLiteral("clipboard"));
}

inline bool clipboardBecomes(const QString& text)
{
    return QTest::qWaitFor([&] { return clipboard() == text; }, 3000);
}

// Another program takes a selection ("clipboard" or "primary") with this text; xclip keeps serving it from a child
// process until another program takes it. Returns once the selection reads back as the text (xclip's parent may end
// before its child owns the selection).
inline bool setSelectionElsewhere(const QString& name, const QString& text)
{
    finishes(*start(QStringLiteral("xclip"), {QStringLiteral("-i"), QStringLiteral("-selection"), name}, text.toUtf8()),
             5000);
    return QTest::qWaitFor([&] { return selection(name) == text; }, 3000);
}

inline void setClipboardElsewhere(const QString& text)
{
    setSelectionElsewhere(QStringLiteral("clipboard"), text);
}

// Returns once the X server has carried out every request this process made (one round trip on Qt's
// connection): a window change Qt has just asked for is in force for the next program that acts.
void syncWithXServer();

// The whole screen, as a PNG in the build tree's screenshots folder; answers the file.
inline QString screenshot(const QString& name)
{
    QDir().mkpath(QStringLiteral(TOLVAN_SCREENSHOTS_DIR));
    const QString file = QStringLiteral(TOLVAN_SCREENSHOTS_DIR "/") + name + QStringLiteral(".png");
    run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    return file;
}

} // namespace DesktopRig

// A window of another process with one focused text field (tests/fakes/text-field, or another program that
// reports the same way). It reports "READY", "TEXT <content>" after each change and "KEY <press>" ("Ctrl+V",
// "Return"…) for each key press.
class TextFieldWindow
{
public:
    // Extra arguments go to Qt, e.g. {"-name", "xterm"} for its WM_CLASS.
    explicit TextFieldWindow(const QStringList& arguments = {},
                             const QString& program = QStringLiteral(TOLVAN_FAKES_DIR "/text-field"))
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            pending_ += QString::fromUtf8(process_.readAllStandardOutput());
            for (qsizetype end; (end = pending_.indexOf(u'\n')) >= 0; pending_.remove(0, end + 1)) {
                const QString line = pending_.left(end);
                ready_ = ready_ || line == QLatin1String("READY");
                if (line.startsWith(QLatin1String("TEXT ")))
                    text_ = line.mid(5);
                else if (line.startsWith(QLatin1String("KEY ")))
                    keys_ << line.mid(4);
            }
        });
        process_.start(program, arguments);
        ready_ = process_.waitForStarted(5000) && QTest::qWaitFor([this] { return ready_; }, 10000);
    }
    ~TextFieldWindow()
    {
        QObject::disconnect(&process_, nullptr, nullptr, nullptr);
        process_.kill();
        process_.waitForFinished(3000);
    }

    // Whether the window came up and holds the keyboard focus.
    bool isReady() const { return ready_; }
    // Edits the field as its user would: the last `old` becomes `now`.
    void replace(const QString& old, const QString& now)
    {
        process_.write(QStringLiteral("REPLACE %1\t%2\n").arg(old, now).toUtf8());
    }
    // The Enter key, in the GTK field.
    void pressEnter() { process_.write("ENTER\n"); }
    // The field's content after its last change.
    QString text()
    {
        QTest::qWait(1);
        return text_;
    }
    // The key presses it received, e.g. {"Ctrl+V"}.
    QStringList keys()
    {
        QTest::qWait(1);
        return keys_;
    }
    bool waitForText(const QString& expected, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return text_ == expected; }, timeoutMs);
    }
    // The user brings the window to the front.
    void activate() const
    {
        QString window;
        DesktopRig::run(QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                         QString::number(process_.processId())},
                        &window);
        DesktopRig::xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window.trimmed()});
    }

private:
    QProcess process_;
    QString pending_, text_;
    QStringList keys_;
    bool ready_ = false;
};

// Skips the test outside the desktop session.
class DesktopTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!DesktopRig::isAvailable())
            GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
    }
};
