#pragma once

#include <QIcon>

// The tray icon, drawn rather than loaded so that it needs no image plug-in and stays sharp at any
// panel size.
namespace StatusIcon
{
QIcon idle();
}
