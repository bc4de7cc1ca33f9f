#pragma once

#include <QString>
#include <QStringList>

// The public model hub and its drop-in mirror. TOLVAN_MODEL_HUB and TOLVAN_MODEL_MIRROR replace their base
// addresses (scheme, host and optional port, no trailing slash), for tests and for users behind a local copy.
namespace ModelHub
{
QString hubBase();
QString mirrorBase();
// The same address on the mirror: the hub's base replaced by the mirror's.
QString mirrored(const QString& hubAddress);
} // namespace ModelHub
