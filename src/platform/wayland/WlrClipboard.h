#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct wl_display;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_source_v1;
struct zwlr_data_control_offer_v1;

// The seat's clipboard and primary selection of a compositor with the data-control protocol (wlroots, KWin), as
// every program of the seat sees them. wlroots lets an X11 program's clipboard reach native windows only while an
// X11 window has the focus, and lets X11 programs read the seat's only then, so text for and from native windows
// goes through here. Lives on the WaylandThread that bound the manager, and is used only there.
class WlrClipboard
{
public:
    WlrClipboard(wl_display* display, zwlr_data_control_manager_v1* manager, wl_seat* seat);
    ~WlrClipboard();
    WlrClipboard(const WlrClipboard&) = delete;
    WlrClipboard& operator=(const WlrClipboard&) = delete;

    // Runs once another program's text has replaced what offer() put on the clipboard.
    std::function<void()> onReplaced;

    // Makes the text the clipboard's content for every program of the seat, served by us until another program
    // sets the clipboard.
    void offer(const QString& text);
    // Whether the clipboard still holds what offer() put there last.
    bool holdsOffer() const { return source_ != nullptr; }
    const QString& offered() const { return text_; }
    // The clipboard's text, and the primary selection's (what is selected in the focused window); nothing when it
    // holds no text or its owner did not hand it over within timeoutMs.
    std::optional<QString> clipboardText(int timeoutMs);
    std::optional<QString> selectedText(int timeoutMs);

private:
    struct Offer;
    static void send(void* data, zwlr_data_control_source_v1* source, const char* mimeType, int32_t fd);
    static void cancelled(void* data, zwlr_data_control_source_v1* source);
    std::optional<QString> read(Offer* offer, int timeoutMs);
    void replace(Offer*& slot, zwlr_data_control_offer_v1* offer);
    void adopt(Offer*& slot, zwlr_data_control_offer_v1* offer);

    wl_display* display_;
    zwlr_data_control_manager_v1* manager_;
    zwlr_data_control_device_v1* device_;
    zwlr_data_control_source_v1* source_ = nullptr;
    QString text_;
    // Offers the compositor announced; the newest becomes the clipboard's or the primary selection's.
    Offer* announced_ = nullptr;
    Offer* selection_ = nullptr;
    Offer* primary_ = nullptr;
};
