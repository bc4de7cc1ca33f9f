#pragma once

#include <QString>

// The application's own files and the helper programs it runs. The resources directory is
// share/tolvan beside the executable's bin/ (the same in the build tree and in the installed bundle);
// TOLVAN_RESOURCES_DIR replaces it, and each TOLVAN_*_BIN names one program directly (not checked for
// existence: the engine that starts it reports a missing program).
namespace Resources
{
// The running executable, absolute.
QString applicationExecutable();
// The bundle's app, bin/tolvan beside the resources directory's share/ (whatever program is running).
QString bundledApp();
QString directory();
// A file below the resources directory.
QString path(const QString& relative);
// Whether the running copy belongs to a package of the system's package manager, which then also brings
// its updates: the package leaves this file in the resources directory.
inline const QString packageMark = QStringLiteral("installed-by-package");
bool isPackageManaged();

QString whisperServer();
QString sherpaOffline();
QString llamaServer();
// The sherpa-onnx C API library of the bundle, and the voice detector's model (TOLVAN_VAD_MODEL names another).
QString sherpaLibrary();
QString voiceModel();
// The servers as the bundle holds them, whatever TOLVAN_*_BIN names.
QString bundledWhisperServer();
// whisper-server with ggml's Vulkan backend, where the bundle has it (scripts/build-whisper-server.sh --vulkan).
QString bundledWhisperServerVulkan();
QString bundledSherpaOffline();
QString bundledLlamaServer();
} // namespace Resources
