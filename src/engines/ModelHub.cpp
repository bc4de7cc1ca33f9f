#include "engines/ModelHub.h"

namespace
{

QString baseFromEnvironment(const char* variable, const QString& fallback)
{
    QString value = qEnvironmentVariable(variable).trimmed();
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value.isEmpty() ? fallback : value;
}

} // namespace

namespace ModelHub
{

QString hubBase()
{
    return baseFromEnvironment("TOLVAN_MODEL_HUB", QStringLiteral("https://huggingface.co"));
}

QString mirrorBase()
{
    return baseFromEnvironment("TOLVAN_MODEL_MIRROR", QStringLiteral("https://hf-mirror.com"));
}

QString mirrored(const QString& hubAddress)
{
    const QString hub = hubBase();
    if (!hubAddress.startsWith(hub))
        return hubAddress;
    return mirrorBase() + hubAddress.mid(hub.size());
}

} // namespace ModelHub
