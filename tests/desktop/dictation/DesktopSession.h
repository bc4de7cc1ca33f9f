#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

// The desktop session of tests/desktop/with-desktop.sh: its X server, clipboard, keyboard and microphone.
namespace DesktopSession
{
bool isAvailable();
// Runs a program to its end (at most timeoutMs) while the event loop keeps running; its exit code, or -1.
int run(const QString& program, const QStringList& arguments, QString* output = nullptr, int timeoutMs = 10000);
// Starts a program and returns at once.
std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments);
// Our own XTEST key tool: steps like "down:Alt_R", "sleep:500", "up:Alt_R", "tap:a".
std::unique_ptr<QProcess> keys(const QStringList& steps);
bool finishes(QProcess& process, int timeoutMs = 10000);
// The CLIPBOARD selection as another program sees it; empty when nobody owns it.
QString clipboard();
// Another program takes the CLIPBOARD selection with this text.
void setClipboardElsewhere(const QString& text);
// The whole screen, as a PNG in the build tree's screenshots folder; answers the file.
QString screenshot(const QString& name);
} // namespace DesktopSession

// A window of another process with one focused text field (tests/fakes/text-field).
class TextFieldWindow
{
public:
    // Extra arguments go to Qt, e.g. {"-name", "xterm"} for its WM_CLASS.
    explicit TextFieldWindow(const QStringList& arguments = {});
    ~TextFieldWindow();

    // Whether the window came up and holds the keyboard focus.
    bool isReady() const { return ready_; }
    // The field's content after its last change.
    QString text();
    // The key presses it received, as "Ctrl+V", "Return"…
    QStringList keys();
    // Waits until the field holds this text.
    bool waitForText(const QString& expected, int timeoutMs = 3000);

private:
    void readLines();

    QProcess process_;
    QString pending_;
    QString text_;
    QStringList keys_;
    bool ready_ = false;
};

// Skips the test outside the desktop session.
class DesktopTest : public testing::Test
{
protected:
    void SetUp() override;
};
