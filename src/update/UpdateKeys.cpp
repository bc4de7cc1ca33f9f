#include "update/UpdateKeys.h"

#include "UpdateKeysBuild.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringList>

namespace
{

constexpr const char* testVariable = "TOLVAN_TEST_UPDATE_KEY";

QList<QByteArray> builtIn()
{
    // CMake has checked the keys already; a damaged one would turn updates off rather than trust anything.
    return UpdateKeys::parse(QString::fromLatin1(UpdateKeysBuild::keys)).value_or(QList<QByteArray>());
}

// The keys in TOLVAN_TEST_UPDATE_KEY when it is set in a build for testing (none when it holds no key); a release
// build has no such code.
std::optional<QList<QByteArray>> testKeys()
{
#if TOLVAN_UPDATE_KEYS_FROM_ENVIRONMENT
    if (qEnvironmentVariableIsSet(testVariable))
        return UpdateKeys::parse(qEnvironmentVariable(testVariable)).value_or(QList<QByteArray>());
#endif
    return std::nullopt;
}

} // namespace

namespace UpdateKeys
{

bool fromTestEnvironment()
{
    return testKeys().has_value();
}

QList<QByteArray> trusted()
{
    return testKeys().value_or(builtIn());
}

std::optional<QList<QByteArray>> parse(const QString& text)
{
    QList<QByteArray> keys;
    for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const auto decoded = QByteArray::fromBase64Encoding(word.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() != keySize)
            return std::nullopt;
        keys.append(decoded.decoded);
    }
    return keys;
}

QString fingerprint(const QByteArray& key, QChar space)
{
    const QString digits =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(16).toHex());
    QStringList groups;
    for (qsizetype start = 0; start < digits.size(); start += 4)
        groups.append(digits.mid(start, 4));
    return groups.join(space);
}

QString description(QChar space)
{
    const QList<QByteArray> keys = trusted();
    if (keys.isEmpty())
        return QStringLiteral("Обновления выключены: в эту сборку не встроен ключ проверки подписи.");
    QStringList fingerprints;
    for (const QByteArray& key : keys)
        fingerprints.append(fingerprint(key, space));
    const QString text =
        keys.size() == 1
            ? QStringLiteral("Обновления устанавливаются, только если подписаны ключом Ed25519 с отпечатком %1.")
            : QStringLiteral(
                  "Обновления устанавливаются, только если подписаны одним из ключей Ed25519 с отпечатками %1.");
    return text.arg(fingerprints.join(QStringLiteral(" и "))) +
           (fromTestEnvironment() ? QStringLiteral(" Ключ тестовый, из %1.").arg(QLatin1String(testVariable))
                                  : QString());
}

} // namespace UpdateKeys
