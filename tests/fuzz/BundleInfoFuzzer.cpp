// A bundle's Contents/Info.json, as an update image or the installed copy carries it.
#include "FuzzSupport.h"
#include "update/BundleInfo.h"

#include <QDir>
#include <QFile>

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString bundle = qEnvironmentVariable("HOME") + QStringLiteral("/Толван.app");
    static const bool made = QDir().mkpath(bundle + QStringLiteral("/Contents"));
    Fuzz::require(made, "the bundle directory exists");
    QFile file(BundleInfo::infoFile(bundle));
    Fuzz::require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "Info.json can be written");
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    const std::optional<QJsonObject> info = BundleInfo::read(bundle);
    const qint64 build = info ? BundleInfo::build(*info) : 0;
    if (info)
        BundleInfo::identifier(*info);
    Fuzz::require(BundleInfo::installedBuild(bundle) == build, "the installed build is the file's build");
    return 0;
}
