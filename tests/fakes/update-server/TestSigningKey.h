#pragma once

#include <QByteArray>

// A throwaway Ed25519 key pair, made anew wherever a test needs one, that signs feeds and images as the
// maintainer's key does.
class TestSigningKey
{
public:
    TestSigningKey();

    // The raw 32 bytes, and in base64 as TOLVAN_TEST_UPDATE_KEY takes them.
    const QByteArray& publicKey() const { return public_; }
    QByteArray publicBase64() const { return public_.toBase64(); }
    // The detached signature of the message, in base64.
    QByteArray sign(const QByteArray& message) const;

private:
    QByteArray public_;
    QByteArray secret_;
};
