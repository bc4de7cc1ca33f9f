#pragma once

// The tray application: checks that a graphical session is reachable, then runs the event loop with
// the application delegate until the user quits or the process is asked to terminate.
namespace Application
{
int run(int& argc, char** argv);
}
