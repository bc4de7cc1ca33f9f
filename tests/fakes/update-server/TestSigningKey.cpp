#include "TestSigningKey.h"

#include <sodium.h>
#include <stdexcept>

namespace
{

unsigned char* bytes(QByteArray& array)
{
    return reinterpret_cast<unsigned char*>(array.data());
}

} // namespace

TestSigningKey::TestSigningKey()
    : public_(crypto_sign_PUBLICKEYBYTES, Qt::Uninitialized), secret_(crypto_sign_SECRETKEYBYTES, Qt::Uninitialized)
{
    if (sodium_init() < 0 || crypto_sign_keypair(bytes(public_), bytes(secret_)) != 0)
        throw std::runtime_error("libsodium made no key pair");
}

QByteArray TestSigningKey::sign(const QByteArray& message) const
{
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(bytes(signature), nullptr, reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(secret_.constData()));
    return signature.toBase64();
}
