#include "text/WindowProfiles.h"

#include "core/SettingsStore.h"

#include <QHash>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace WindowProfiles
{
namespace
{

constexpr qsizetype recentLimit = 8;

// The programs of well-known windows by the names their class hints and app_ids give, in lower case.
constexpr std::pair<TextProfile, const char16_t*> builtInPrograms[] = {
    {TextProfile::terminal,
     u"xterm uxterm urxvt rxvt gnome-terminal gnome-terminal-server org.gnome.console org.gnome.terminal kgx "
     u"konsole xfce4-terminal mate-terminal lxterminal qterminal terminator tilix alacritty kitty st st-256color "
     u"wezterm org.wezfurlong.wezterm foot footclient org.codeberg.dnkl.foot org.gnome.ptyxis ptyxis "
     u"io.elementary.terminal com.raggesilver.blackbox blackbox contour rio org.kde.konsole org.kde.yakuake "
     u"com.system76.cosmicterm tabby hyper sakura guake tilda yakuake terminology cool-retro-term deepin-terminal "
     u"eterm termite ghostty com.mitchellh.ghostty"},
    // Messengers and mail: a message of one sentence reads warmer without its period.
    {TextProfile::chat,
     u"telegram-desktop telegramdesktop org.telegram.desktop kotatogram-desktop ayugram-desktop signal "
     u"signal-desktop org.signal.signal element im.riot.riot discord vesktop slack skype skypeforlinux "
     u"whatsapp-for-linux whatsie zapzap mattermost rocket.chat zulip teams-for-linux org.kde.neochat neochat "
     u"fractal org.gnome.fractal dino im.dino.dino pidgin hexchat gajim org.gajim.gajim thunderbird thunderbird-esr "
     u"org.mozilla.thunderbird evolution org.gnome.evolution geary org.gnome.geary kmail org.kde.kmail2 mailspring "
     u"betterbird eu.betterbird.betterbird"},
    {TextProfile::code,
     u"code code-oss vscodium codium com.visualstudio.code sublime_text sublime-text com.sublimetext.three emacs "
     u"gvim neovide zed dev.zed.zed geany org.geany.geany qtcreator org.qt-project.qtcreator kdevelop "
     u"org.kde.kdevelop kate org.kde.kate org.gnome.builder gnome-builder lapce dev.lapce.lapce cursor pulsar "
     u"android-studio"},
    // Browsers, office suites and text editors write prose: they stay documents whatever the profile of the others.
    {TextProfile::document,
     u"firefox firefox-esr org.mozilla.firefox navigator chromium chromium-browser google-chrome brave-browser "
     u"microsoft-edge vivaldi-stable epiphany org.gnome.epiphany falkon org.kde.falkon abiword "
     u"org.onlyoffice.desktopeditors desktopeditors wps gedit org.gnome.gedit org.gnome.texteditor "
     u"gnome-text-editor mousepad pluma kwrite org.kde.kwrite obsidian joplin typora ghostwriter "
     u"org.kde.ghostwriter calligrawords"},
};

const QHash<QString, TextProfile>& knownPrograms()
{
    static const QHash<QString, TextProfile> programs = [] {
        QHash<QString, TextProfile> byName;
        for (const auto& [profile, names] : builtInPrograms) {
            for (const QString& name : QString::fromUtf16(names).split(u' ', Qt::SkipEmptyParts))
                byName.insert(name, profile);
        }
        return byName;
    }();
    return programs;
}

std::optional<TextProfile> builtInFor(const QString& name)
{
    if (const auto known = knownPrograms().constFind(name); known != knownPrograms().constEnd())
        return *known;
    if (name.startsWith(u"jetbrains-"_s))
        return TextProfile::code;
    if (name.startsWith(u"libreoffice"_s) || name == u"soffice"_s)
        return TextProfile::document;
    return std::nullopt;
}

QStringList lowered(const QStringList& windowClass)
{
    QStringList names;
    for (const QString& name : windowClass) {
        if (!name.isEmpty())
            names << name.toLower();
    }
    return names;
}

} // namespace

TextProfile forWindow(const QStringList& windowClass)
{
    return ruleFor(windowClass).value_or(defaultProfile());
}

std::optional<TextProfile> ruleFor(const QStringList& windowClass)
{
    const QStringList names = lowered(windowClass);
    if (names.isEmpty())
        return std::nullopt;
    for (const Rule& rule : userRules()) {
        if (names.contains(rule.program))
            return rule.profile;
    }
    return builtIn(windowClass);
}

std::optional<TextProfile> builtIn(const QStringList& windowClass)
{
    for (const QString& name : lowered(windowClass)) {
        if (const std::optional<TextProfile> profile = builtInFor(name))
            return profile;
    }
    return std::nullopt;
}

bool isTerminal(const QStringList& windowClass)
{
    const QStringList names = lowered(windowClass);
    return std::any_of(names.begin(), names.end(),
                       [](const QString& name) { return knownPrograms().value(name) == TextProfile::terminal; });
}

QString programOf(const QStringList& windowClass)
{
    const QStringList names = lowered(windowClass);
    return names.isEmpty() ? QString() : names.last();
}

std::vector<Rule> userRules()
{
    std::vector<Rule> rules;
    for (const QString& entry : SettingsStore::shared().stringArrayForKey(SettingsKey::appProfiles)) {
        const qsizetype equals = entry.lastIndexOf(u'=');
        const QString program = entry.left(equals).trimmed().toLower();
        const std::optional<TextProfile> profile = TextProfiles::fromKey(entry.mid(equals + 1).trimmed());
        if (equals > 0 && !program.isEmpty() && profile)
            rules.push_back({program, *profile});
    }
    return rules;
}

void setUserRules(const std::vector<Rule>& rules)
{
    QStringList entries;
    for (const Rule& rule : rules)
        entries << rule.program.toLower() + u'=' + TextProfiles::key(rule.profile);
    SettingsStore::shared().setStringArray(SettingsKey::appProfiles, entries);
}

TextProfile defaultProfile()
{
    return TextProfiles::fromKey(SettingsStore::shared().stringForKey(SettingsKey::defaultProfile).value_or(QString()))
        .value_or(TextProfile::document);
}

void setDefaultProfile(TextProfile profile)
{
    SettingsStore::shared().setString(SettingsKey::defaultProfile, TextProfiles::key(profile));
}

void notePasteTarget(const QStringList& windowClass)
{
    const QString program = programOf(windowClass);
    if (program.isEmpty())
        return;
    QStringList programs = recentPrograms();
    if (programs.value(0) == program)
        return;
    programs.removeAll(program);
    programs.prepend(program);
    SettingsStore::shared().setStringArray(SettingsKey::recentPrograms, programs.mid(0, recentLimit));
}

QStringList recentPrograms()
{
    return SettingsStore::shared().stringArrayForKey(SettingsKey::recentPrograms);
}

} // namespace WindowProfiles
