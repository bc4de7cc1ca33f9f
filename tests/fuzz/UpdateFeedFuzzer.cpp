// The update feed as the server sends it.
#include "FuzzSupport.h"
#include "update/UpdateFeed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl address(QStringLiteral("https://updates.example.org/tolvan/feed.json"));
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString context = QString::fromUtf8(body);
    if (const std::optional<FeedInfo> info = UpdateFeed::parse(body, address)) {
        Fuzz::require(info->url.isValid() && !info->url.isRelative(), "the image address is absolute", context);
        // Hex digits other than lower-case ones do not survive the round trip.
        Fuzz::require(info->sha256.isEmpty() ||
                          (info->sha256.size() == 64 && QByteArray::fromHex(info->sha256).toHex() == info->sha256),
                      "a checksum is 64 lower-case hex digits", context);
    }
    const QString text = Fuzz::text(body);
    if (const std::optional<qint64> number = UpdateFeed::parseDecimal(text))
        Fuzz::require(UpdateFeed::parseDecimal(QString::number(*number)) == number, "a number reads back", text);
    return 0;
}
