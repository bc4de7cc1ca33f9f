#include "support/TestModels.h"

#include "engines/ModelCatalog.h"
#include "engines/ModelVerification.h"
#include "support/TestFiles.h"

#include <QFile>

namespace TestModels
{

bool placeDefault()
{
    const RecognitionModel model = ModelCatalog::byID(ModelCatalog::turboModelID());
    QFile modelFile(TestFiles::write(model.filePath(0), "ggml"));
    if (!modelFile.resize(ModelCatalog::completeSizeThreshold(model.sizeMB) + 1))
        return false;
    // A stand-in of the right size, which no digest would match: taken as checked, as a download is.
    ModelVerification::remember(model, 0);
    return true;
}

} // namespace TestModels
