#pragma once

class QWidget;

// Placing one of the app's windows and bringing it to the front from the tray. Main thread only.
namespace WindowFront
{
// Moves the window to the middle of the primary screen's usable area.
void centerOnScreen(QWidget* window);
// Shows the window, raises it and gives it the keyboard focus.
void bringToFront(QWidget* window);
} // namespace WindowFront
