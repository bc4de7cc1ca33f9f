#include "core/Paths.h"

#include "core/Resources.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

TEST(Paths, FollowTheXdgVariables)
{
    qputenv("XDG_CONFIG_HOME", "/tmp/t-config");
    qputenv("XDG_DATA_HOME", "/tmp/t-data");
    qputenv("XDG_STATE_HOME", "/tmp/t-state");
    EXPECT_EQ(Paths::settingsFile(), QStringLiteral("/tmp/t-config/Tolvan/Tolvan.conf"));
    EXPECT_EQ(Paths::autostartFile(), QStringLiteral("/tmp/t-config/autostart/tolvan.desktop"));
    EXPECT_EQ(Paths::modelsDir(), QStringLiteral("/tmp/t-data/Tolvan/models"));
    EXPECT_EQ(Paths::advisorModelsDir(), QStringLiteral("/tmp/t-data/Tolvan/models/advisor"));
    EXPECT_EQ(Paths::logDir(), QStringLiteral("/tmp/t-state/Tolvan"));
}

TEST(Paths, UnsetEmptyOrRelativeVariablesFallBackBelowHome)
{
    qputenv("HOME", "/tmp/t-home");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", "");
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(Paths::configDir(), QStringLiteral("/tmp/t-home/.config/Tolvan"));
    EXPECT_EQ(Paths::dataDir(), QStringLiteral("/tmp/t-home/.local/share/Tolvan"));
    EXPECT_EQ(Paths::logDir(), QStringLiteral("/tmp/t-home/.local/state/Tolvan"));
    EXPECT_EQ(Paths::installDir(), QStringLiteral("/tmp/t-home/.local/opt/Толван.app"));
    qputenv("TOLVAN_INSTALL_DIR", "/opt/tolvan-test/Толван.app");
    EXPECT_EQ(Paths::installDir(), QStringLiteral("/opt/tolvan-test/Толван.app"));
}

TEST(Resources, BesideTheExecutableUnlessOverridden)
{
    const QString besideBinary = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tolvan");
    EXPECT_EQ(Resources::directory(), QDir::cleanPath(besideBinary));
    EXPECT_EQ(Resources::whisperServer(), QDir::cleanPath(besideBinary) + QStringLiteral("/bin/whisper-server"));

    qputenv("TOLVAN_RESOURCES_DIR", "/srv/res/");
    EXPECT_EQ(Resources::sherpaOffline(), QStringLiteral("/srv/res/sherpa/bin/sherpa-onnx-offline"));
    EXPECT_EQ(Resources::llamaServer(), QStringLiteral("/srv/res/llama/bin/llama-server"));

    qputenv("TOLVAN_LLAMA_BIN", "/nowhere/llama-server");
    qputenv("TOLVAN_SHERPA_BIN", "relative/sherpa");
    qputenv("TOLVAN_WHISPER_BIN", "/nowhere/whisper-server");
    EXPECT_EQ(Resources::llamaServer(), QStringLiteral("/nowhere/llama-server"));
    EXPECT_EQ(Resources::sherpaOffline(), QStringLiteral("relative/sherpa"));
    EXPECT_EQ(Resources::whisperServer(), QStringLiteral("/nowhere/whisper-server"));
}
