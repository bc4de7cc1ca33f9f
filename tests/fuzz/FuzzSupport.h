#pragma once

#include "transcript/SpeechSegment.h"

#include <QByteArray>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Shared ground of the fuzz targets. FuzzSupport.cpp also holds LLVMFuzzerInitialize for all of them: an
// application object, and HOME and the XDG directories in a fresh temporary directory (in memory when
// /dev/shm is there) for whatever the code under test writes.
namespace Fuzz
{
// The first byte chooses: UTF-16 code units taken as they are (lone surrogates included) when it is odd,
// UTF-8 (malformed sequences replaced) otherwise. The rest is the text.
QString text(const QByteArray& bytes);
QString consumeText(FuzzedDataProvider& provider, size_t limit);

// Aborts with the message and the input's text when `condition` is false.
void require(bool condition, const char* what, const QString& context = {});
// Writes the file as the user's data files are written, and removes the copy a save keeps of an unreadable one.
void writeFile(const QString& path, const QByteArray& bytes);
// What a recognizer's answer yields: segments with text that end after they start.
void requireSegments(const std::vector<SpeechSegment>& segments, const QByteArray& input);
} // namespace Fuzz
