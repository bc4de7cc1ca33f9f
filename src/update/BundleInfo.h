#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The identity of an application bundle, kept in its Contents/Info.json ("CFBundleIdentifier",
// "CFBundleShortVersionString", "CFBundleVersion"), and of the running application.
namespace BundleInfo
{
QString infoFile(const QString& bundle);
// Nothing when the file is missing or not a JSON object.
std::optional<QJsonObject> read(const QString& bundle);
// "CFBundleIdentifier", empty when absent.
QString identifier(const QJsonObject& info);
// "CFBundleVersion" read as a decimal integer; 0 when absent or not a number.
qint64 build(const QJsonObject& info);
// The build of the bundle on disk; 0 when it has no readable identity.
qint64 installedBuild(const QString& bundle);

// The running application's own build and version ("?" when it has none).
qint64 currentBuild();
QString currentVersion();
} // namespace BundleInfo
