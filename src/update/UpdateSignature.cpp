#include "update/UpdateSignature.h"

#include "update/UpdateKeys.h"

#include <QFile>

#include <algorithm>
#include <sodium.h>

namespace
{

constexpr int updaterErrorCode = 30;

Error refusal(const QString& message)
{
    return Error::tolvan(updaterErrorCode, message);
}

bool signedByOneOf(QByteArrayView message, const QByteArray& signature, const QList<QByteArray>& keys)
{
    if (sodium_init() < 0)
        return false;
    return std::ranges::any_of(keys, [&](const QByteArray& key) {
        return key.size() == UpdateKeys::keySize &&
               crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                           reinterpret_cast<const unsigned char*>(message.data()),
                                           static_cast<unsigned long long>(message.size()),
                                           reinterpret_cast<const unsigned char*>(key.constData())) == 0;
    });
}

} // namespace

namespace UpdateSignature
{

std::optional<QByteArray> decode(QByteArrayView text)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed().toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

Result<Done> check(QByteArrayView message, QByteArrayView text, const QList<QByteArray>& keys, Subject subject)
{
    const bool feed = subject == Subject::feed;
    if (keys.isEmpty())
        return refusal(QStringLiteral("в эту сборку не встроен ключ проверки подписи, обновления выключены"));
    if (!feed && text.trimmed().isEmpty())
        return refusal(QStringLiteral("в фиде нет подписи образа"));
    const auto signature = decode(text);
    if (!signature)
        return refusal(QStringLiteral("подпись %1 повреждена (нужна подпись Ed25519 в base64)")
                           .arg(feed ? QStringLiteral("фида") : QStringLiteral("образа")));
    if (!signedByOneOf(message, *signature, keys))
        return refusal(feed ? QStringLiteral("подпись фида не сходится — фид изменён или подписан чужим ключом")
                            : QStringLiteral("подпись образа не сходится — образ изменён или подписан чужим ключом"));
    return Done{};
}

Result<Done> checkImage(const QString& path, QByteArrayView text, const QList<QByteArray>& keys)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error::system(QStringLiteral("QFile"), file.error(), file.errorString());
    const qint64 length = file.size();
    const uchar* bytes = length > 0 ? file.map(0, length) : nullptr;
    if (length > 0 && !bytes)
        return Error::system(QStringLiteral("QFile"), file.error(), file.errorString());
    return check(QByteArrayView(bytes, length), text, keys, Subject::image);
}

} // namespace UpdateSignature
