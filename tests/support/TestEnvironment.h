#pragma once

#include <QString>

// Keeps tests away from the real user's files.
namespace TestEnvironment
{
// Points HOME and the XDG directories at a fresh temporary tree (removed at exit) and clears every
// TOLVAN_* override. Called once, before anything reads a path.
void isolate();
// Replaces HOME and the XDG directories (the runtime directory too) with new empty ones, as for a brand-new
// account.
void freshHome();
// The current temporary HOME.
QString home();
// A file under tests/fixtures.
QString fixture(const QString& relative);
// A new empty directory inside the temporary tree.
QString makeDirectory(const QString& name);
// What the application, or the code under test, has logged so far.
QString appLog();
} // namespace TestEnvironment
