#include "downloads/ContentHash.h"

#include <algorithm>
#include <array>

namespace
{

struct Kind
{
    QLatin1StringView tag;
    QCryptographicHash::Algorithm algorithm;
};

constexpr std::array kinds{Kind{QLatin1StringView("sha1:"), QCryptographicHash::Sha1},
                           Kind{QLatin1StringView("sha256:"), QCryptographicHash::Sha256}};

bool isLowerHex(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar character) {
        return (character >= u'0' && character <= u'9') || (character >= u'a' && character <= u'f');
    });
}

} // namespace

ContentHash::ContentHash(QCryptographicHash::Algorithm algorithm, QByteArray digest)
    : algorithm_(algorithm), digest_(std::move(digest))
{}

std::optional<ContentHash> ContentHash::parse(const QString& tagged)
{
    for (const Kind& kind : kinds) {
        if (!tagged.startsWith(kind.tag))
            continue;
        const QStringView hex = QStringView(tagged).mid(kind.tag.size());
        if (hex.size() != 2 * QCryptographicHash::hashLength(kind.algorithm) || !isLowerHex(hex))
            return std::nullopt;
        return ContentHash(kind.algorithm, QByteArray::fromHex(hex.toLatin1()));
    }
    return std::nullopt;
}
