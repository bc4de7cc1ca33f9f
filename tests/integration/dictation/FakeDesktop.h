#pragma once

#include "platform/ActiveWindow.h"

#include <QString>

#include <initializer_list>
#include <vector>

// The X11 session of the controller tests: this program links the definitions of ActiveWindow and KeyInjector
// in FakeDesktop.cpp instead of the X11 ones. Windows are plain numbers; the user switches between them with
// setActive, the application with ActiveWindow::activate. A paste keystroke records the window in front and,
// as the target program would, the clipboard's text a moment later.
namespace FakeDesktop
{
struct Paste
{
    ActiveWindow::WindowId window = 0;
    QString text;
    bool operator==(const Paste&) const = default;
};

// These windows exist, `active` is in front, nothing was pasted yet.
void reset(std::initializer_list<ActiveWindow::WindowId> windows, ActiveWindow::WindowId active);
// The user brings a window to the front.
void setActive(ActiveWindow::WindowId window);
// The window goes away; the focus stays where the window manager leaves it (nowhere useful: 0).
void close(ActiveWindow::WindowId window);
// The window manager accepts activation requests but ignores them.
void refuseActivation(bool refuse);
// No keystroke can be posted (a compositor that refuses them).
void refuseKeystrokes(bool refuse);
// Main thread.
std::vector<Paste> pastes();
} // namespace FakeDesktop
