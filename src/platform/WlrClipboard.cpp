#include "platform/WlrClipboard.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <unistd.h>

namespace
{

const char* const textTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT", "STRING"};

void ignoreOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}

// Nobody reads the offers of others' clipboards here.
void dropSelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    if (offer)
        zwlr_data_control_offer_v1_destroy(offer);
}

void deviceFinished(void*, zwlr_data_control_device_v1*) {}

} // namespace

WlrClipboard::WlrClipboard(zwlr_data_control_manager_v1* manager, wl_seat* seat)
    : manager_(manager), device_(zwlr_data_control_manager_v1_get_data_device(manager, seat))
{
    static const zwlr_data_control_device_v1_listener listener{.data_offer = ignoreOffer,
                                                               .selection = dropSelection,
                                                               .finished = deviceFinished,
                                                               .primary_selection = dropSelection};
    zwlr_data_control_device_v1_add_listener(device_, &listener, this);
}

WlrClipboard::~WlrClipboard()
{
    if (source_)
        zwlr_data_control_source_v1_destroy(source_);
    zwlr_data_control_device_v1_destroy(device_);
    zwlr_data_control_manager_v1_destroy(manager_);
}

void WlrClipboard::offer(const QByteArray& text)
{
    static const zwlr_data_control_source_v1_listener listener{.send = send, .cancelled = cancelled};
    if (source_)
        zwlr_data_control_source_v1_destroy(source_);
    text_ = text;
    source_ = zwlr_data_control_manager_v1_create_data_source(manager_);
    zwlr_data_control_source_v1_add_listener(source_, &listener, this);
    for (const char* type : textTypes)
        zwlr_data_control_source_v1_offer(source_, type);
    zwlr_data_control_device_v1_set_selection(device_, source_);
}

void WlrClipboard::send(void* data, zwlr_data_control_source_v1*, const char*, int32_t fd)
{
    const QByteArray& text = static_cast<WlrClipboard*>(data)->text_;
    for (qsizetype written = 0; written < text.size();) {
        const ssize_t count = write(fd, text.constData() + written, static_cast<size_t>(text.size() - written));
        if (count <= 0)
            break;
        written += count;
    }
    close(fd);
}

void WlrClipboard::cancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto* self = static_cast<WlrClipboard*>(data);
    zwlr_data_control_source_v1_destroy(source);
    if (self->source_ == source)
        self->source_ = nullptr;
}
