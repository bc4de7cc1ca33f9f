#include "core/Console.h"

#include <cstdio>

namespace
{

void writeTo(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

namespace Console
{

void print(const QString& line)
{
    writeTo(stdout, line.toUtf8() + '\n');
}

void printError(const QString& line)
{
    writeTo(stderr, line.toUtf8() + '\n');
}

void write(const QByteArray& bytes)
{
    writeTo(stdout, bytes);
}

QByteArray readStandardInput()
{
    QByteArray input;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        input.append(buffer, static_cast<qsizetype>(count));
    return input;
}

} // namespace Console
