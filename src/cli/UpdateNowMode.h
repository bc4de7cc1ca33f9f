#pragma once

#include <QStringList>

// "--update-now FEED_URL": installs the newest version from the feed without any window.
namespace UpdateNowMode
{
int run(const QStringList& arguments);
}
