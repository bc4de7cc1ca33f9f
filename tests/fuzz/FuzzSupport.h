#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Shared ground of the fuzz targets: a private home for whatever the code under test writes, the ways raw
// bytes become text, and the check that turns a broken promise into a crash libFuzzer reports.
namespace Fuzz
{
// Once, from LLVMFuzzerInitialize: an application object and HOME and the XDG directories in a fresh
// temporary directory (in memory when /dev/shm is there; removed at exit).
void initialize();

QByteArray bytes(const uint8_t* data, size_t size);
// The first byte chooses: UTF-16 code units taken as they are (lone surrogates included) when it is odd,
// UTF-8 (malformed sequences replaced) otherwise. The rest is the text.
QString text(const QByteArray& bytes);

// Aborts with the message and the input's text when `condition` is false.
void require(bool condition, const char* what, const QString& context = {});
} // namespace Fuzz
