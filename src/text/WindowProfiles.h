#pragma once

#include "text/TextProfile.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Which profile the text for a window gets, by its program: the window's class hint (instance and class name) in
// X11, its app_id in Wayland. The user's rules come first, then the built-in ones for well-known programs, then
// the user's profile for every other program. Safe to use from any thread.
namespace WindowProfiles
{
struct Rule
{
    // Lower case, as it is matched.
    QString program;
    TextProfile profile = TextProfile::document;
    bool operator==(const Rule&) const = default;
};

TextProfile forWindow(const QStringList& windowClass);
// The rule the program's profile comes from, when one does: the user's or a built-in one.
std::optional<TextProfile> ruleFor(const QStringList& windowClass);
std::optional<TextProfile> builtIn(const QStringList& windowClass);
// Whether the window belongs to a terminal emulator, where Ctrl+V and Ctrl+C mean something else.
bool isTerminal(const QStringList& windowClass);
// The name a rule for the window's program holds: its class name, else its instance name, in lower case.
QString programOf(const QStringList& windowClass);

// Stored in the settings; entries that name no profile are left out.
std::vector<Rule> userRules();
void setUserRules(const std::vector<Rule>& rules);
TextProfile defaultProfile();
void setDefaultProfile(TextProfile profile);

// A text went to a window of this program: it heads the programs offered for a rule (eight at most).
void notePasteTarget(const QStringList& windowClass);
QStringList recentPrograms();
} // namespace WindowProfiles
