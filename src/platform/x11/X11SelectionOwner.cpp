#include "platform/SelectionOwner.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace
{

struct Disconnect
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_window_t owner(xcb_connection_t* connection, xcb_atom_t selection)
{
    const ReplyPointer<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr), &std::free);
    return reply ? reply->owner : XCB_NONE;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const ReplyPointer<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::uint16_t(std::strlen(name)), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool isOwned(xcb_connection_t* connection, const char* selection)
{
    // Only an existing atom can have an owner.
    const xcb_atom_t name = atom(connection, selection);
    return name != XCB_ATOM_NONE && owner(connection, name) != XCB_NONE;
}

xcb_window_t focusedWindow(xcb_connection_t* connection)
{
    const ReplyPointer<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    return reply && reply->focus != XCB_INPUT_FOCUS_POINTER_ROOT ? reply->focus : XCB_NONE;
}

} // namespace

namespace SelectionOwner
{

bool primaryIsFocusedWindows()
{
    const Connection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()))
        return false;
    const xcb_window_t primary = owner(connection.get(), XCB_ATOM_PRIMARY);
    const xcb_window_t focus = focusedWindow(connection.get());
    if (primary == XCB_NONE || focus == XCB_NONE)
        return false;
    // A toolkit owns selections with a hidden window of its own, never the focused one itself; but every
    // window of one client carries that client's resource base, the identifier bits outside this mask.
    const std::uint32_t clientBits = ~xcb_get_setup(connection.get())->resource_id_mask;
    return (primary & clientBits) == (focus & clientBits);
}

bool clipboardManagerRuns()
{
    const Connection connection(xcb_connect(nullptr, nullptr));
    return !xcb_connection_has_error(connection.get()) && isOwned(connection.get(), "CLIPBOARD_MANAGER");
}

bool trayRuns()
{
    int screen = 0;
    const Connection connection(xcb_connect(nullptr, &screen));
    return !xcb_connection_has_error(connection.get()) &&
           isOwned(connection.get(), ("_NET_SYSTEM_TRAY_S" + std::to_string(screen)).c_str());
}

} // namespace SelectionOwner
