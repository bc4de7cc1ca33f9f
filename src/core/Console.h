#pragma once

#include <QByteArray>
#include <QString>

// Output of the command-line modes: UTF-8 lines on standard output, notices on standard error.
namespace Console
{
void print(const QString& line);
void printError(const QString& line);
// Writes the bytes as they are, for blocks that carry their own line ends.
void write(const QByteArray& bytes);
// All of standard input, as bytes.
QByteArray readStandardInput();
} // namespace Console
