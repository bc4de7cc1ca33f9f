#pragma once

#include <QByteArray>

struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_source_v1;

// The seat's clipboard of a wlroots compositor, set through its data-control protocol. wlroots lets an X11
// program's clipboard reach native windows only while an X11 window has the focus, so text for a native window is
// offered here. Lives on the WaylandThread that bound the manager, and is used only there.
class WlrClipboard
{
public:
    WlrClipboard(zwlr_data_control_manager_v1* manager, wl_seat* seat);
    ~WlrClipboard();
    WlrClipboard(const WlrClipboard&) = delete;
    WlrClipboard& operator=(const WlrClipboard&) = delete;

    // Makes the UTF-8 text the clipboard's content for every program of the seat.
    void offer(const QByteArray& text);

private:
    static void send(void* data, zwlr_data_control_source_v1* source, const char* mimeType, int32_t fd);
    static void cancelled(void* data, zwlr_data_control_source_v1* source);

    zwlr_data_control_manager_v1* manager_;
    zwlr_data_control_device_v1* device_;
    zwlr_data_control_source_v1* source_ = nullptr;
    QByteArray text_;
};
