#pragma once

class QWidget;

// Bringing one of the app's windows to the front from the tray. Main thread only.
namespace WindowFront
{
// Shows the window, raises it and gives it the keyboard focus.
void bringToFront(QWidget* window);
} // namespace WindowFront
