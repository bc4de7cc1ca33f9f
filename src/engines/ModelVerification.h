#pragma once

#include "engines/ModelCatalog.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// The files of catalog models already on disk checked against their pinned digests, once each: a file that came
// before its digest was pinned, or was changed since, is found out. Files downloaded since were hashed as they
// arrived and are never read again.
namespace ModelVerification
{
// Remembers that the model's file has its pinned digest (a download just checked it). Main thread.
void remember(const RecognitionModel& model, int fileIndex);
// Hashes, one after another on a worker, each downloaded file of these models with a pinned digest that has not been
// checked yet; a file that matches is remembered, one that does not is removed and `mismatched` told of its model
// on the context's thread. Returns at once, with the number of files to check.
int checkOnce(const std::vector<RecognitionModel>& models, QObject* context,
              std::function<void(const RecognitionModel& model)> mismatched);
} // namespace ModelVerification
