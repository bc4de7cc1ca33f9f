// A bundle's Contents/Info.json, as an update image or the installed copy carries it.
#include "FuzzSupport.h"
#include "update/BundleInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString bundle = qEnvironmentVariable("HOME") + QStringLiteral("/Толван.app");
    Fuzz::writeFile(BundleInfo::infoFile(bundle), QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const std::optional<QJsonObject> info = BundleInfo::read(bundle);
    if (info)
        BundleInfo::identifier(*info);
    Fuzz::require(BundleInfo::installedBuild(bundle) == (info ? BundleInfo::build(*info) : 0),
                  "the installed build is the file's build");
    return 0;
}
