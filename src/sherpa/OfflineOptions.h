#pragma once

#include <QString>

#include <optional>

// The command line of sherpa-onnx-offline as the GigaAM engine writes it: every option as --key=value, then
// the path of one WAV file, or --serve for recordings named on standard input.
//   --encoder=F --decoder=F --joiner=F --tokens=F --model-type=T --num-threads=N [--debug=1] WAV|--serve
struct OfflineOptions
{
    QString encoder;
    QString decoder;
    QString joiner;
    QString tokens;
    QString modelType;
    int threads = 1;
    // The library prints the configuration it read and the model's metadata.
    bool debug = false;
    // Loads the model once and recognizes one recording per line of standard input (see Serving).
    bool serve = false;
    // Empty when serving.
    QString wav;

    // The options, or what is wrong with them in `problem`.
    static std::optional<OfflineOptions> parse(const QStringList& arguments, QString& problem);
};
