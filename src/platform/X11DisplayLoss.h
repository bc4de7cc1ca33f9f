#pragma once

#include <functional>

typedef struct _XDisplay Display;

// The X server can go away under the running application: the user logs out, or the server crashes. Qt and
// Xlib then end the process with exit(1) the moment they notice, from wherever they are, without returning
// to the event loop. This gives the application one last step first.
namespace X11DisplayLoss
{
// Runs `lastStep` once, on the main thread, when Qt's connection to the display or one of our own Xlib
// connections breaks there; the process ends right after it. Call once, on the main thread, once the GUI
// application object exists.
void setLastStep(std::function<void()> lastStep);
// For a connection of our own that any thread may use: a break noticed on another thread than the main
// one leaves that thread running with a dead connection (its requests fail) instead of ending the process
// from there, before the main thread has taken its last step.
void sparesOtherThreads(Display* display);
} // namespace X11DisplayLoss
