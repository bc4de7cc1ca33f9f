#pragma once

#include "core/Result.h"

#include <QString>

// Unpacks an update image (a gzip-compressed tar archive) into a private directory. Only regular files,
// directories, and links that stay inside the directory are accepted; an absolute name, a ".." component,
// a link leading outside (followed through the links already unpacked, and once more through all of them at
// the end), or any other kind of entry fails the whole image: nothing is ever written outside the directory,
// and what a refused image put inside is removed again. Permission bits other than rwx are dropped.
namespace ImageExtractor
{
Result<Done> extract(const QString& image, const QString& directory);
} // namespace ImageExtractor
