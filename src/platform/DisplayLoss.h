#pragma once

#include <functional>

typedef struct _XDisplay Display;

// The desktop can go away under the running application: the user logs out, or the X server or the Wayland
// compositor crashes. Qt and Xlib then end the process with exit(1) the moment they notice, from wherever they
// are, and static objects would be destroyed on top of connections that are gone. Instead the application takes
// one last step (keeping unfinished recordings, ending its children) and ends at once, with status 0: its
// session ended, nothing failed.
namespace DisplayLoss
{
// Runs `lastStep` once, on the main thread, when Qt's connection to the display, one of our own Xlib connections
// or the Wayland compositor's breaks; the process ends right after it. Call once, on the main thread, once the
// GUI application object exists.
void setLastStep(std::function<void()> lastStep);
// For a connection of our own that any thread may use: a break noticed on another thread than the main
// one leaves that thread running with a dead connection (its requests fail) instead of ending the process
// from there, before the main thread has taken its last step.
void sparesOtherThreads(Display* display);
// The Wayland compositor has gone away (noticed on any thread): the main thread takes the last step.
void compositorGone();
} // namespace DisplayLoss
