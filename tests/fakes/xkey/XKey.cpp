// Presses and releases single keys through XTEST, exactly as told (xdotool's keydown Alt_R also presses
// the left Alt). Usage: xkey STEP...  with STEP one of down:KEYSYM, up:KEYSYM, sleep:MS, or hang-clipboard.
// hang-clipboard takes the CLIPBOARD selection like a program that then hangs: it prints "OWNER", then
// "REQUEST" for every request for its content, never answers, and runs until it loses the selection.
// closed-active-window leaves _NET_ACTIVE_WINDOW naming a window that no longer exists, as window managers may.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace
{

bool send(Display* display, const std::string& name, bool press)
{
    const KeySym keysym = XStringToKeysym(name.c_str());
    const KeyCode code = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (code == 0) {
        std::fprintf(stderr, "xkey: unknown key %s\n", name.c_str());
        return false;
    }
    XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime);
    XSync(display, False);
    return true;
}

// Owns the clipboard and reports, never answers, the requests for it.
bool hangOnClipboard(Display* display)
{
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, clipboard, window, CurrentTime);
    if (XGetSelectionOwner(display, clipboard) != window)
        return false;
    std::printf("OWNER\n");
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionClear)
            return true;
        if (event.type == SelectionRequest) {
            std::printf("REQUEST\n");
            std::fflush(stdout);
        }
    }
}

void nameAClosedWindowActive(Display* display)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(&window), 1);
    XDestroyWindow(display, window);
    XSync(display, False);
}

} // namespace

int main(int argc, char** argv)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xkey: no display\n");
        return 2;
    }
    int status = 0;
    for (int index = 1; index < argc && status == 0; ++index) {
        const std::string step = argv[index];
        const auto colon = step.find(':');
        const std::string action = step.substr(0, colon);
        const std::string value = colon == std::string::npos ? std::string() : step.substr(colon + 1);
        if (action == "down") {
            status = send(display, value, true) ? 0 : 1;
        } else if (action == "up") {
            status = send(display, value, false) ? 0 : 1;
        } else if (action == "hang-clipboard") {
            status = hangOnClipboard(display) ? 0 : 1;
        } else if (action == "closed-active-window") {
            nameAClosedWindowActive(display);
        } else if (action == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
        } else {
            std::fprintf(stderr, "xkey: unknown step %s\n", step.c_str());
            status = 1;
        }
    }
    XCloseDisplay(display);
    return status;
}
