#include "core/Paths.h"

#include "core/Resources.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

TEST(Paths, FollowTheXdgVariablesOrFallBackBelowHome)
{
    qputenv("XDG_CONFIG_HOME", "/tmp/t-config");
    qputenv("XDG_DATA_HOME", "/tmp/t-data");
    qputenv("XDG_STATE_HOME", "/tmp/t-state");
    EXPECT_EQ(Paths::settingsFile(), QStringLiteral("/tmp/t-config/Tolvan/Tolvan.conf"));
    EXPECT_EQ(Paths::autostartFile(), QStringLiteral("/tmp/t-config/autostart/tolvan.desktop"));
    EXPECT_EQ(Paths::advisorModelsDir(), QStringLiteral("/tmp/t-data/Tolvan/models/advisor"));
    EXPECT_EQ(Paths::logDir(), QStringLiteral("/tmp/t-state/Tolvan"));

    // Unset, empty or relative variables do not count.
    qputenv("HOME", "/tmp/t-home");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", "");
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(Paths::configDir(), QStringLiteral("/tmp/t-home/.config/Tolvan"));
    EXPECT_EQ(Paths::modelsDir(), QStringLiteral("/tmp/t-home/.local/share/Tolvan/models"));
    EXPECT_EQ(Paths::logDir(), QStringLiteral("/tmp/t-home/.local/state/Tolvan"));
    EXPECT_EQ(Paths::installDir(), QStringLiteral("/tmp/t-home/.local/opt/Толван.app"));
}

// The engines' tests move the resources elsewhere with TOLVAN_RESOURCES_DIR.
TEST(Resources, BesideTheExecutable)
{
    EXPECT_EQ(Resources::whisperServer(), QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                          QStringLiteral("/../share/tolvan/bin/whisper-server")));
}
