#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// What the update feed announces.
struct FeedInfo
{
    // Shown to the user.
    QString version;
    // Compared with the installed build.
    qint64 build = 0;
    // The update image and its exact size in bytes.
    QUrl url;
    qint64 size = 0;
    // Release notes; empty when the feed has none.
    QString notes;
    // SHA-256 of the image as lower-case hex; empty when the feed does not state it.
    QByteArray sha256;
    // The image's Ed25519 signature in base64, as the feed gives it; empty when it has none.
    QByteArray signature;

    bool operator==(const FeedInfo&) const = default;
};

// The feed is a JSON object: "version" (string), "build" (integer), "url" (string holding a URL, relative
// ones taken relative to the feed), "size" (the image's bytes, an integer of at least 0), and optionally "notes"
// (string), "sha256" (64 hex digits) and "signature" (string). The feed's own signature lies beside it, at its address
// with ".sig" appended to the path.
namespace UpdateFeed
{
// Feeds larger than this are not read.
inline constexpr qint64 maximumSize = 1024 * 1024;

// Nothing when the answer is not such an object.
std::optional<FeedInfo> parse(const QByteArray& body, const QUrl& feedAddress);
QUrl signatureAddress(const QUrl& feedAddress);
// An address whose host ends in ".invalid" is a placeholder that turns updates off.
bool isConfigured(const QUrl& feedAddress);
// A decimal integer with an optional sign and nothing else.
std::optional<qint64> parseDecimal(const QString& text);
} // namespace UpdateFeed
