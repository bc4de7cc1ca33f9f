// The update feed as the server sends it.
#include "FuzzSupport.h"
#include "update/UpdateFeed.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl address(QStringLiteral("https://updates.example.org/tolvan/feed.json"));
    const QByteArray body = Fuzz::bytes(data, size);
    const QString context = QString::fromUtf8(body);
    if (const std::optional<FeedInfo> info = UpdateFeed::parse(body, address)) {
        Fuzz::require(info->url.isValid() && !info->url.isRelative(), "the image address is absolute", context);
        Fuzz::require(info->sha256.isEmpty() || info->sha256.size() == 64, "a checksum has 64 digits", context);
        for (const char digit : info->sha256)
            Fuzz::require((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f'),
                          "a checksum is lower-case hex", context);
    }
    const QString text = Fuzz::text(body);
    if (const std::optional<qint64> number = UpdateFeed::parseDecimal(text))
        Fuzz::require(UpdateFeed::parseDecimal(QString::number(*number)) == number, "a number reads back", text);
    return 0;
}
