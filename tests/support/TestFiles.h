#pragma once

#include <QByteArray>
#include <QString>

// Reading and writing whole files in tests and fake programs.
namespace TestFiles
{
// The file's bytes; empty when it cannot be read.
QByteArray read(const QString& path);
// Creates the folders above it and replaces the file's content; the path, or a null string on failure.
QString write(const QString& path, const QByteArray& content);
} // namespace TestFiles
