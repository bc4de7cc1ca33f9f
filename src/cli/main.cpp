#include "app/Application.h"
#include "audio/AudioDecoderProcess.h"
#include "cli/CommandLine.h"
#include "platform/ClipboardKeeper.h"

#include <QFile>

#include <cstring>

int main(int argc, char** argv)
{
    // Started by the app itself (at quit, to read an audio file), never by the user: no window, no command-line
    // parsing.
    if (argc == 3 && std::strcmp(argv[1], ClipboardKeeper::flag(ClipboardKeeper::Side::wayland)) == 0)
        return ClipboardKeeper::keepUntilReplaced(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], ClipboardKeeper::flag(ClipboardKeeper::Side::x11)) == 0)
        return ClipboardKeeper::keepX11UntilReplaced(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], AudioDecoderProcess::flag) == 0)
        return AudioDecoderProcess::runChild(QFile::decodeName(argv[2]));
    if (const auto status = CommandLine::run(argc, argv))
        return *status;
    return Application::run(argc, argv);
}
