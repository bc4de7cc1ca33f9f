#include "integration/dictation/FakeDesktop.h"

#include "platform/KeyInjector.h"

#include <QClipboard>
#include <QGuiApplication>

#include <mutex>
#include <set>

namespace
{

std::mutex lock;
std::set<ActiveWindow::WindowId> windows;
ActiveWindow::WindowId active = 0;
bool refusing = false;
bool keysRefused = false;
// Main thread only.
std::vector<FakeDesktop::Paste> pasted;

} // namespace

namespace FakeDesktop
{

void reset(std::initializer_list<ActiveWindow::WindowId> open, ActiveWindow::WindowId inFront)
{
    std::lock_guard guard(lock);
    windows = open;
    active = inFront;
    refusing = false;
    keysRefused = false;
    pasted.clear();
}

void setActive(ActiveWindow::WindowId window)
{
    std::lock_guard guard(lock);
    active = window;
}

void close(ActiveWindow::WindowId window)
{
    std::lock_guard guard(lock);
    windows.erase(window);
    if (active == window)
        active = 0;
}

void refuseActivation(bool refuse)
{
    std::lock_guard guard(lock);
    refusing = refuse;
}

void refuseKeystrokes(bool refuse)
{
    std::lock_guard guard(lock);
    keysRefused = refuse;
}

std::vector<Paste> pastes()
{
    return pasted;
}

} // namespace FakeDesktop

namespace ActiveWindow
{

WindowId current()
{
    std::lock_guard guard(lock);
    return active;
}

bool activate(WindowId window)
{
    std::lock_guard guard(lock);
    if (!windows.contains(window))
        return false;
    if (!refusing)
        active = window;
    return true;
}

// Its windows belong to no program.
std::vector<OpenWindow> openWindows()
{
    return {};
}

} // namespace ActiveWindow

namespace KeyInjector
{

bool isAvailable()
{
    return true;
}

bool waitForModifiersReleased(int)
{
    return true;
}

Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers, const QString&)
{
    if (std::lock_guard guard(lock); keysRefused)
        return Keystroke::failed;
    const ActiveWindow::WindowId window = ActiveWindow::current();
    if (target != 0 && target != window)
        return Keystroke::targetLeft;
    if (key != Keys::v)
        return Keystroke::posted;
    // The target asks for the clipboard once the keystroke reached it.
    QMetaObject::invokeMethod(
        qApp,
        [window] {
            pasted.push_back({window, QGuiApplication::clipboard()->text()});
        },
        Qt::QueuedConnection);
    return Keystroke::posted;
}

bool waitsForPastedText()
{
    return false;
}

QStringList focusedWindowClass()
{
    return {};
}

QStringList focusedProgram()
{
    return {};
}

bool nativeWindowFocused()
{
    return false;
}

} // namespace KeyInjector
