#pragma once

#include "core/Result.h"

#include <QFile>
#include <QString>

#include <memory>

// A file the user names, opened for reading only when it is a plain file of its own: a FIFO would block the reader
// until someone writes, a device may never end, a link may lead anywhere. What is checked is the opened file itself,
// so nothing can be swapped in between. Any thread.
namespace RegularFile
{
constexpr int missingCode = 74;
constexpr int refusedCode = 75;

// The file, or why not as a Russian phrase that names no file ("файл не найден").
Result<std::unique_ptr<QFile>> open(const QString& path);
} // namespace RegularFile
