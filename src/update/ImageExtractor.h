#pragma once

#include "core/Result.h"

#include <QString>

// Unpacks an update image (a gzip-compressed tar archive) into a private directory. Only regular files,
// directories, and links that stay inside the directory are accepted; an absolute name, a ".." component,
// a link leading outside, or any other kind of entry fails the whole image, and nothing is ever written
// outside the directory. Permission bits other than rwx are dropped.
namespace ImageExtractor
{
Result<Done> extract(const QString& image, const QString& directory);
} // namespace ImageExtractor
