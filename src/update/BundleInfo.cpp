#include "update/BundleInfo.h"

#include "BuildInfo.h"
#include "update/UpdateFeed.h"

#include <QFile>
#include <QJsonDocument>

#include <cmath>

namespace BundleInfo
{

QString infoFile(const QString& bundle)
{
    return bundle + QStringLiteral("/Contents/Info.json");
}

std::optional<QJsonObject> read(const QString& bundle)
{
    QFile file(infoFile(bundle));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(UpdateFeed::maximumSize));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

QString identifier(const QJsonObject& info)
{
    return info.value(QLatin1String("CFBundleIdentifier")).toString();
}

qint64 build(const QJsonObject& info)
{
    const QJsonValue value = info.value(QLatin1String("CFBundleVersion"));
    if (value.isDouble()) {
        const double number = value.toDouble();
        return std::trunc(number) == number && std::fabs(number) < 0x1p53 ? static_cast<qint64>(number) : 0;
    }
    return UpdateFeed::parseDecimal(value.toString()).value_or(0);
}

qint64 installedBuild(const QString& bundle)
{
    const auto info = read(bundle);
    return info ? build(*info) : 0;
}

qint64 currentBuild()
{
    return UpdateFeed::parseDecimal(QString::fromUtf8(BuildInfo::buildNumber)).value_or(0);
}

QString currentVersion()
{
    const QString version = QString::fromUtf8(BuildInfo::shortVersion);
    return version.isEmpty() ? QStringLiteral("?") : version;
}

} // namespace BundleInfo
