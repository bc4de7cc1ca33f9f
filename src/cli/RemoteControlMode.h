#pragma once

#include "app/RemoteCommand.h"

// `tolvan --toggle`, `--finish` and `--cancel`: the command goes to the running application, for desktops
// where a global shortcut of the desktop itself has to start the dictation.
namespace RemoteControlMode
{
int run(RemoteCommand::Kind command);
}
