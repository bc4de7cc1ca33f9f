#pragma once

typedef struct _XDisplay Display;

// Catches the X protocol errors of the requests made while it lives on this thread, instead of Xlib's
// default handler, which ends the process. Errors of requests outside any trap are ignored.
class X11ErrorTrap
{
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer every request so far and answers the first error code (0: none),
    // then starts over.
    int takeError();

private:
    Display* display_;
    X11ErrorTrap* outer_;
    int error_ = 0;

    friend int recordX11Error(Display*, void*);
};
