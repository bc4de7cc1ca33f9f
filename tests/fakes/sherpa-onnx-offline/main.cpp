// Behaves like sherpa-onnx-offline 1.12.30 and later: options only as --key=value before the first WAV
// path, exactly one JSON line per WAV on standard output, exit status 255 for a WAV it cannot read and for a
// malformed option. FAKE_SHERPA_* variables script it:
//   EXIT_CODE      exit status after printing
//   HANG_MS        time spent "recognizing" before printing
//   IGNORE_TERM=1  ignore SIGTERM
//   RECORD_DIR     gets args.txt, a copy of the first WAV (input.wav) and the octal modes of that WAV and of
//                  its directory (input-modes.txt, "600 700"); every WAV's length in ms of 16 kHz audio is appended
//                  to durations.txt, a line each
#include "support/FakeProgram.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sys/stat.h>

#include <csignal>
#include <cstdio>

namespace
{

const FakeProgram fake("SHERPA");

// Of the real program's options, those Tolvan passes.
const QStringList knownOptions{"encoder", "decoder", "joiner", "tokens", "model-type", "num-threads"};

QString octalMode(const QString& path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("-");
    return QString::number(status.st_mode & 07777, 8);
}

int failure(const QString& message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 255;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (fake.isOn("IGNORE_TERM"))
        std::signal(SIGTERM, SIG_IGN);

    QStringList waves;
    for (const QString& argument : arguments.mid(1)) {
        if (!waves.isEmpty() || !argument.startsWith("--")) {
            waves.append(argument);
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        if (equals < 0 || !knownOptions.contains(argument.mid(2, equals - 2)))
            return failure("Invalid option " + argument);
    }
    fake.recordArguments(arguments);
    if (!waves.isEmpty()) {
        fake.record(QStringLiteral("input.wav"), TestFiles::read(waves.front()));
        const QString modes = octalMode(waves.front()) + ' ' + octalMode(QFileInfo(waves.front()).absolutePath());
        fake.record(QStringLiteral("input-modes.txt"), modes.toUtf8());
    }

    QThread::msleep(static_cast<unsigned long>(fake.number("HANG_MS")));
    const QByteArray line = TestFiles::read(QStringLiteral(FAKE_SHERPA_FIXTURES "/stdout_char_vocab.txt"));
    for (const QString& wave : waves) {
        const QByteArray bytes = TestFiles::read(wave);
        if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
            return failure(QStringLiteral("Failed to read '%1'").arg(wave));
        fake.record(QStringLiteral("durations.txt"), QByteArray::number((bytes.size() - 44) / 32) + '\n', true);
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    }
    return fake.number("EXIT_CODE");
}
