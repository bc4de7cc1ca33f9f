// Behaves like sherpa-onnx-offline 1.12.30 and later: options only as --key=value before the first WAV
// path, the command line echoed on standard error, exactly one JSON line per WAV on standard output, exit
// status 255 for a missing model file or WAV and for a malformed option, 1 without any WAV. FAKE_SHERPA_*
// variables script it:
//   LEGACY=1       print like versions before 1.12.30: path, JSON and "----" on standard error
//   EXIT_CODE      exit status after printing
//   HANG_MS        time spent "recognizing" before printing
//   IGNORE_TERM=1  ignore SIGTERM
//   RECORD_DIR     gets args.txt, a copy of the first WAV (input.wav) and the octal modes of that WAV and of
//                  its directory (input-modes.txt, "600 700")
#include "support/FakeProgram.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <sys/stat.h>

#include <csignal>
#include <cstdio>

namespace
{

const FakeProgram fake("SHERPA");

const QStringList knownOptions{"encoder",     "decoder",  "joiner",          "tokens", "model-type",
                               "num-threads", "provider", "decoding-method", "debug",  "print-args"};

void printUsage()
{
    std::fputs(
        "Speech recognition using non-streaming models with sherpa-onnx.\n\nUsage:\n\n"
        "./bin/sherpa-onnx-offline \\\n  --tokens=/path/to/tokens.txt \\\n"
        "  --encoder=/path/to/encoder.onnx \\\n  --decoder=/path/to/decoder.onnx \\\n"
        "  --joiner=/path/to/joiner.onnx \\\n  --num-threads=2 \\\n  /path/to/foo.wav [bar.wav foobar.wav ...]\n",
        stderr);
}

int configError(const QString& message)
{
    std::fprintf(stderr, "/sherpa-onnx/csrc/offline-model-config.cc:Validate:120 %s\n", qPrintable(message));
    std::fputs("/sherpa-onnx/csrc/sherpa-onnx-offline.cc:main:60 Errors in config!\n", stderr);
    return 255;
}

QString octalMode(const QString& path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("-");
    return QString::number(status.st_mode & 07777, 8);
}

bool isWave(const QByteArray& bytes)
{
    return bytes.size() >= 44 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WAVE";
}

void record(const QStringList& arguments, const QString& firstWav)
{
    fake.recordArguments(arguments);
    if (firstWav.isEmpty())
        return;
    fake.record(QStringLiteral("input.wav"), TestFiles::read(firstWav));
    fake.record(QStringLiteral("input-modes.txt"),
                (octalMode(firstWav) + ' ' + octalMode(QFileInfo(firstWav).absolutePath())).toUtf8());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (fake.isOn("IGNORE_TERM"))
        std::signal(SIGTERM, SIG_IGN);
    std::fprintf(stderr, "/sherpa-onnx/csrc/parse-options.cc:Read:374 %s \n\n",
                 qPrintable(arguments.join(QLatin1Char(' '))));

    QMap<QString, QString> options;
    QStringList waves;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (!waves.isEmpty() || !argument.startsWith("--")) {
            waves.append(argument);
            continue;
        }
        if (argument == "--help") {
            printUsage();
            return 0;
        }
        const qsizetype equals = argument.indexOf('=');
        const QString key = argument.mid(2, equals < 0 ? -1 : equals - 2);
        if (!knownOptions.contains(key)) {
            printUsage();
            std::fprintf(stderr, "Invalid option %s\n", qPrintable(argument));
            return 255;
        }
        if (equals < 0) {
            std::fprintf(stderr, "Invalid option %s (option format is --x=y).\n", qPrintable(argument));
            return 255;
        }
        options.insert(key, argument.mid(equals + 1));
    }
    record(arguments, waves.value(0));

    if (!QFileInfo(options.value("tokens")).isFile())
        return configError(QStringLiteral("tokens: '%1' does not exist").arg(options.value("tokens")));
    for (const char* part : {"encoder", "decoder", "joiner"}) {
        if (!QFileInfo(options.value(part)).isFile())
            return configError(QStringLiteral("transducer %1: '%2' does not exist").arg(part, options.value(part)));
    }
    if (options.value("num-threads", "2").toInt() <= 0)
        return configError(QStringLiteral("num_threads should be > 0. Given %1").arg(options.value("num-threads")));
    if (waves.isEmpty()) {
        std::fputs("Error: Please provide at least 1 wave file.\n\n", stderr);
        printUsage();
        return 1;
    }

    std::fputs("Creating recognizer ...\nrecognizer created in 0.012 s\nStarted\n", stderr);
    QThread::msleep(static_cast<unsigned long>(fake.number("HANG_MS")));
    for (const QString& wave : waves) {
        if (!QFileInfo(wave).isFile()) {
            std::fprintf(stderr, "/sherpa-onnx/csrc/wave-reader.cc:ReadWave:226 Filename '%s' does not exist\n",
                         qPrintable(wave));
            std::fprintf(stderr, "Failed to read '%s'\n", qPrintable(wave));
            return 255;
        }
        if (!isWave(TestFiles::read(wave))) {
            std::fputs("/sherpa-onnx/csrc/wave-reader.cc:ReadWaveImpl:97 Expected RIFF, given XXXX\n", stderr);
            std::fprintf(stderr, "Failed to read '%s'\n", qPrintable(wave));
            return 255;
        }
    }
    std::fputs("Done!\n\n", stderr);

    const QByteArray line = TestFiles::read(QStringLiteral(FAKE_SHERPA_FIXTURES "/stdout_char_vocab.txt"));
    for (const QString& wave : waves) {
        if (fake.isOn("LEGACY"))
            std::fprintf(stderr, "%s\n%s----\n", qPrintable(wave), line.constData());
        else
            std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    }
    std::fprintf(stderr, "num threads: %s\ndecoding method: greedy_search\nElapsed seconds: 0.345 s\n",
                 qPrintable(options.value("num-threads", "2")));
    return fake.number("EXIT_CODE");
}
