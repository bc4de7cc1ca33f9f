#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The Ed25519 public keys whose signatures the updater accepts: those built in (the CMake option
// TOLVAN_UPDATE_KEYS, at most two, so that one release can carry a key and its successor), or, in a build made
// for testing only, those in the environment variable TOLVAN_TEST_UPDATE_KEY. Without any, nothing is installed.
namespace UpdateKeys
{
inline constexpr qsizetype keySize = 32;

// Raw 32-byte keys; empty when the build has none.
QList<QByteArray> trusted();
// Whether the keys in use come from TOLVAN_TEST_UPDATE_KEY.
bool fromTestEnvironment();
// Keys in base64 separated by white space; nothing when one of them is not a 32-byte key.
std::optional<QList<QByteArray>> parse(const QString& text);
// The first 16 bytes of the key's SHA-256 in hex, in groups of four digits separated by `space`.
QString fingerprint(const QByteArray& key, QChar space = QLatin1Char(' '));
// One sentence for the About box and the log: which keys sign the updates, or that updates are off. A window
// passes a no-break space to keep each fingerprint on one line.
QString description(QChar space = QLatin1Char(' '));
} // namespace UpdateKeys
