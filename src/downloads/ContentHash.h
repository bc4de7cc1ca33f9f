#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QString>

#include <optional>

// The digest a file has to have, written with its algorithm the way model hubs publish them:
// "sha1:<40 hex digits>" or "sha256:<64 hex digits>".
class ContentHash
{
public:
    // Nothing unless the text is such a digest.
    static std::optional<ContentHash> parse(const QString& tagged);

    QCryptographicHash::Algorithm algorithm() const { return algorithm_; }
    // Whether the result of a hash made with algorithm() is this digest.
    bool matches(QByteArrayView result) const { return result == digest_; }

private:
    ContentHash(QCryptographicHash::Algorithm algorithm, QByteArray digest);

    QCryptographicHash::Algorithm algorithm_;
    QByteArray digest_;
};
