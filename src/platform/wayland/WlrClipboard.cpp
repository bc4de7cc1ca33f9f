#include "platform/wayland/WlrClipboard.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QStringList>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

namespace
{

// STRING and TEXT stand for Latin-1 text, which ours is not.
const char* const textTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"};
constexpr qsizetype largestText = 1 << 20;

} // namespace

struct WlrClipboard::Offer
{
    zwlr_data_control_offer_v1* offer;
    QStringList types;
};

WlrClipboard::WlrClipboard(wl_display* display, zwlr_data_control_manager_v1* manager, wl_seat* seat)
    : display_(display), manager_(manager), device_(zwlr_data_control_manager_v1_get_data_device(manager, seat))
{
    static const zwlr_data_control_offer_v1_listener offerListener{
        .offer = [](void* data, zwlr_data_control_offer_v1*, const char* type) {
            static_cast<Offer*>(data)->types << QString::fromUtf8(type);
        }};
    static const zwlr_data_control_device_v1_listener listener{
        .data_offer =
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                auto* self = static_cast<WlrClipboard*>(data);
                self->replace(self->announced_, offer);
                zwlr_data_control_offer_v1_add_listener(offer, &offerListener, self->announced_);
            },
        .selection =
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                auto* self = static_cast<WlrClipboard*>(data);
                self->adopt(self->selection_, offer);
            },
        .finished = [](void*, zwlr_data_control_device_v1*) {},
        .primary_selection =
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                auto* self = static_cast<WlrClipboard*>(data);
                self->adopt(self->primary_, offer);
            },
    };
    zwlr_data_control_device_v1_add_listener(device_, &listener, this);
}

WlrClipboard::~WlrClipboard()
{
    replace(announced_, nullptr);
    replace(selection_, nullptr);
    replace(primary_, nullptr);
    if (source_)
        zwlr_data_control_source_v1_destroy(source_);
    zwlr_data_control_device_v1_destroy(device_);
    zwlr_data_control_manager_v1_destroy(manager_);
}

void WlrClipboard::replace(Offer*& slot, zwlr_data_control_offer_v1* offer)
{
    if (slot) {
        zwlr_data_control_offer_v1_destroy(slot->offer);
        delete slot;
    }
    slot = offer ? new Offer{offer, {}} : nullptr;
}

// The offer announced last becomes what the slot holds (nothing: the selection was cleared).
void WlrClipboard::adopt(Offer*& slot, zwlr_data_control_offer_v1* offer)
{
    replace(slot, nullptr);
    if (offer && announced_ && announced_->offer == offer)
        std::swap(slot, announced_);
}

void WlrClipboard::offer(const QString& text)
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

std::optional<QString> WlrClipboard::clipboardText(int timeoutMs)
{
    // Our own offer is answered by this very thread: it cannot read it, and need not.
    if (source_)
        return text_;
    return read(selection_, timeoutMs);
}

std::optional<QString> WlrClipboard::selectedText(int timeoutMs)
{
    return read(primary_, timeoutMs);
}

std::optional<QString> WlrClipboard::read(Offer* offer, int timeoutMs)
{
    if (!offer)
        return std::nullopt;
    const char* type = nullptr;
    for (const char* candidate : textTypes) {
        if (!type && offer->types.contains(QLatin1String(candidate)))
            type = candidate;
    }
    int ends[2];
    if (!type || pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    zwlr_data_control_offer_v1_receive(offer->offer, type, ends[1]);
    close(ends[1]);
    wl_display_flush(display_);
    QByteArray data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool complete = false;
    while (!complete && data.size() <= largestText) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{ends[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[4096];
        const ssize_t count = ::read(ends[0], buffer, sizeof buffer);
        complete = count == 0;
        if (count < 0)
            break;
        data.append(buffer, count);
    }
    close(ends[0]);
    if (!complete)
        return std::nullopt;
    return QString::fromUtf8(data);
}

void WlrClipboard::send(void* data, zwlr_data_control_source_v1*, const char*, int32_t fd)
{
    const QByteArray text = static_cast<WlrClipboard*>(data)->text_.toUtf8();
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
    if (self->source_ != source)
        return;
    self->source_ = nullptr;
    if (self->onReplaced)
        self->onReplaced();
}
