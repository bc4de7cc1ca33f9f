#include "update/UpdateFeed.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace
{

// JSON numbers are doubles; only whole ones within the exactly representable range are integers.
std::optional<qint64> integerValue(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    constexpr double exactLimit = 9007199254740992.0;
    if (std::trunc(number) != number || std::fabs(number) > exactLimit)
        return std::nullopt;
    return static_cast<qint64>(number);
}

std::optional<QByteArray> checksum(const QJsonObject& object)
{
    const QJsonValue value = object.value(QLatin1String("sha256"));
    if (value.isUndefined())
        return QByteArray();
    const QByteArray text = value.toString().toLatin1().toLower();
    if (text.size() != 64)
        return std::nullopt;
    for (const char character : text) {
        if (!std::isxdigit(static_cast<unsigned char>(character)))
            return std::nullopt;
    }
    return text;
}

} // namespace

namespace UpdateFeed
{

std::optional<FeedInfo> parse(const QByteArray& body, const QUrl& feedAddress)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const auto build = integerValue(object.value(QLatin1String("build")));
    const QJsonValue address = object.value(QLatin1String("url"));
    const auto size = integerValue(object.value(QLatin1String("size")));
    const auto sha256 = checksum(object);
    const QJsonValue signature = object.value(QLatin1String("signature"));
    if (!version.isString() || !build || !address.isString() || !size || *size < 0 || !sha256 ||
        !(signature.isString() || signature.isUndefined()))
        return std::nullopt;
    const QUrl url(address.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return FeedInfo{version.toString(),
                    *build,
                    url.isRelative() ? feedAddress.resolved(url) : url,
                    *size,
                    object.value(QLatin1String("notes")).toString(),
                    *sha256,
                    signature.toString().toLatin1()};
}

QUrl signatureAddress(const QUrl& feedAddress)
{
    QUrl address = feedAddress;
    address.setPath(feedAddress.path() + QStringLiteral(".sig"));
    return address;
}

bool isConfigured(const QUrl& feedAddress)
{
    return feedAddress.isValid() && !feedAddress.isEmpty() &&
           !feedAddress.host().endsWith(QLatin1String(".invalid"), Qt::CaseInsensitive);
}

std::optional<qint64> parseDecimal(const QString& text)
{
    const qsizetype start = text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() == start)
        return std::nullopt;
    for (qsizetype index = start; index < text.size(); ++index) {
        if (text.at(index) < QLatin1Char('0') || text.at(index) > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace UpdateFeed
