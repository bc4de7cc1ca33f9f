#pragma once

#include <QString>

// Where Tolvan keeps its files. Computed from HOME and the XDG variables on every call, so that tests (and
// users) can redirect them; a variable that is unset, empty or not an absolute path falls back to the XDG
// default.
namespace Paths
{
QString home();
QString configHome();
QString dataHome();
QString stateHome();
QString cacheHome();

// $XDG_CONFIG_HOME/Tolvan
QString configDir();
// $XDG_CONFIG_HOME/Tolvan/Tolvan.conf
QString settingsFile();
// $XDG_DATA_HOME/Tolvan: corrections.json, macros.json, models/
QString dataDir();
QString modelsDir();
QString advisorModelsDir();
// $XDG_STATE_HOME/Tolvan: app.log, server.log, advisor.log
QString logDir();
// $XDG_CACHE_HOME/Tolvan: the update image while it is installed
QString cacheDir();
// $XDG_CONFIG_HOME/autostart/tolvan.desktop
QString autostartFile();
// The installed bundle: TOLVAN_INSTALL_DIR, or ~/.local/opt/Толван.app
QString installDir();
} // namespace Paths
