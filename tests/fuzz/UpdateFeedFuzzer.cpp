// The update feed as the server sends it, and its signature.
#include "FuzzSupport.h"
#include "update/UpdateFeed.h"
#include "update/UpdateSignature.h"

#include <sodium.h>

namespace
{

// A fixed key pair of the fuzzer's own, so that every input can be signed.
struct FuzzKey
{
    FuzzKey()
    {
        const unsigned char seed[crypto_sign_SEEDBYTES] = {7};
        Fuzz::require(sodium_init() >= 0 && crypto_sign_seed_keypair(bytes(publicKey), bytes(secretKey), seed) == 0,
                      "libsodium makes a key pair");
    }
    QByteArray sign(const QByteArray& message) const
    {
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(bytes(signature), nullptr, reinterpret_cast<const unsigned char*>(message.constData()),
                             static_cast<unsigned long long>(message.size()),
                             reinterpret_cast<const unsigned char*>(secretKey.constData()));
        return signature.toBase64();
    }
    static unsigned char* bytes(QByteArray& array) { return reinterpret_cast<unsigned char*>(array.data()); }

    QByteArray publicKey = QByteArray(crypto_sign_PUBLICKEYBYTES, '\0');
    QByteArray secretKey = QByteArray(crypto_sign_SECRETKEYBYTES, '\0');
};

// A signature that decodes is 64 bytes, and its base64 decodes to it again.
void requireReadsBack(const QByteArray& text, const QString& context)
{
    if (const std::optional<QByteArray> signature = UpdateSignature::decode(text))
        Fuzz::require(signature->size() == UpdateSignature::size &&
                          UpdateSignature::decode(signature->toBase64()) == signature,
                      "a signature reads back", context);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl address(QStringLiteral("https://updates.example.org/tolvan/feed.json"));
    static const FuzzKey key;
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString context = QString::fromUtf8(body);
    if (const std::optional<FeedInfo> info = UpdateFeed::parse(body, address)) {
        Fuzz::require(info->url.isValid() && !info->url.isRelative(), "the image address is absolute", context);
        Fuzz::require(info->size >= 0, "the image's size is not negative", context);
        // Hex digits other than lower-case ones do not survive the round trip.
        Fuzz::require(info->sha256.isEmpty() ||
                          (info->sha256.size() == 64 && QByteArray::fromHex(info->sha256).toHex() == info->sha256),
                      "a checksum is 64 lower-case hex digits", context);
        requireReadsBack(info->signature, context);
    }
    // The body as a signature file, and as the feed that is signed.
    requireReadsBack(body, context);
    const QByteArray signature = key.sign(body);
    Fuzz::require(UpdateSignature::check(body, signature, {key.publicKey}, UpdateSignature::Subject::feed).ok(),
                  "the exact bytes signed are accepted", context);
    if (!body.isEmpty()) {
        QByteArray changed = body;
        changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0x20);
        Fuzz::require(!UpdateSignature::check(changed, signature, {key.publicKey}, UpdateSignature::Subject::feed),
                      "a changed byte is refused", context);
    }
    const QString text = Fuzz::text(body);
    if (const std::optional<qint64> number = UpdateFeed::parseDecimal(text))
        Fuzz::require(UpdateFeed::parseDecimal(QString::number(*number)) == number, "a number reads back", text);
    return 0;
}
