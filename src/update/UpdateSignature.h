#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// Ed25519 signatures (libsodium) of what the updater takes in: the feed's exact bytes, signed in the file
// beside it (feed.json.sig), and the image, signed in the feed's member "signature". A signature is 64 bytes,
// written in base64.
namespace UpdateSignature
{
// What a signature vouches for; its refusal names it.
enum class Subject
{
    feed,
    image
};

inline constexpr qsizetype size = 64;
// A signature file is read up to this size (base64 of 64 bytes and some white space).
inline constexpr qint64 maximumFileSize = 1024;

// The signature in base64, white space around it ignored; nothing unless it holds exactly 64 bytes.
std::optional<QByteArray> decode(QByteArrayView text);
// Whether `text` is the signature of `message` by one of the keys; otherwise why it is refused.
Result<Done> check(QByteArrayView message, QByteArrayView text, const QList<QByteArray>& keys, Subject subject);
// The same for an image on disk, which is mapped rather than read into memory.
Result<Done> checkImage(const QString& path, QByteArrayView text, const QList<QByteArray>& keys);
} // namespace UpdateSignature
