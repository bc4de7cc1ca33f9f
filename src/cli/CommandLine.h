#pragma once

#include <QStringList>

#include <optional>

// The command-line modes. The first argument is compared with each mode's flag in a fixed order; the
// first that matches and has its parameters selects the mode. A flag without its parameters selects
// nothing, and then the application starts.
namespace CommandLine
{
// The index of the selected mode in the table, or nothing.
std::optional<size_t> selectMode(const QStringList& arguments);
// Runs the selected mode to its end and gives its exit status; nothing when no mode is selected.
std::optional<int> run(int& argc, char** argv);
// The modes, one line each, for "--help".
QString usage();
} // namespace CommandLine
