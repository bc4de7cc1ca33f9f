#include "text/WindowProfiles.h"

#include "core/SettingsStore.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace WindowProfiles
{
namespace
{

constexpr qsizetype recentLimit = 8;

const QSet<QString>& terminals()
{
    static const QSet<QString> names{u"xterm"_s,
                                     u"uxterm"_s,
                                     u"urxvt"_s,
                                     u"rxvt"_s,
                                     u"gnome-terminal"_s,
                                     u"gnome-terminal-server"_s,
                                     u"org.gnome.console"_s,
                                     u"org.gnome.terminal"_s,
                                     u"kgx"_s,
                                     u"konsole"_s,
                                     u"xfce4-terminal"_s,
                                     u"mate-terminal"_s,
                                     u"lxterminal"_s,
                                     u"qterminal"_s,
                                     u"terminator"_s,
                                     u"tilix"_s,
                                     u"alacritty"_s,
                                     u"kitty"_s,
                                     u"st"_s,
                                     u"st-256color"_s,
                                     u"wezterm"_s,
                                     u"org.wezfurlong.wezterm"_s,
                                     u"foot"_s,
                                     u"footclient"_s,
                                     u"org.codeberg.dnkl.foot"_s,
                                     u"org.gnome.ptyxis"_s,
                                     u"ptyxis"_s,
                                     u"io.elementary.terminal"_s,
                                     u"com.raggesilver.blackbox"_s,
                                     u"blackbox"_s,
                                     u"contour"_s,
                                     u"rio"_s,
                                     u"org.kde.konsole"_s,
                                     u"org.kde.yakuake"_s,
                                     u"com.system76.cosmicterm"_s,
                                     u"tabby"_s,
                                     u"hyper"_s,
                                     u"sakura"_s,
                                     u"guake"_s,
                                     u"tilda"_s,
                                     u"yakuake"_s,
                                     u"terminology"_s,
                                     u"cool-retro-term"_s,
                                     u"deepin-terminal"_s,
                                     u"eterm"_s,
                                     u"termite"_s,
                                     u"ghostty"_s,
                                     u"com.mitchellh.ghostty"_s};
    return names;
}

// Messengers and mail: a message of one sentence reads warmer without its period.
const QSet<QString>& chats()
{
    static const QSet<QString> names{u"telegram-desktop"_s,
                                     u"telegramdesktop"_s,
                                     u"org.telegram.desktop"_s,
                                     u"kotatogram-desktop"_s,
                                     u"ayugram-desktop"_s,
                                     u"signal"_s,
                                     u"signal-desktop"_s,
                                     u"org.signal.signal"_s,
                                     u"element"_s,
                                     u"im.riot.riot"_s,
                                     u"discord"_s,
                                     u"vesktop"_s,
                                     u"slack"_s,
                                     u"skype"_s,
                                     u"skypeforlinux"_s,
                                     u"whatsapp-for-linux"_s,
                                     u"whatsie"_s,
                                     u"zapzap"_s,
                                     u"mattermost"_s,
                                     u"rocket.chat"_s,
                                     u"zulip"_s,
                                     u"teams-for-linux"_s,
                                     u"org.kde.neochat"_s,
                                     u"neochat"_s,
                                     u"fractal"_s,
                                     u"org.gnome.fractal"_s,
                                     u"dino"_s,
                                     u"im.dino.dino"_s,
                                     u"pidgin"_s,
                                     u"hexchat"_s,
                                     u"gajim"_s,
                                     u"org.gajim.gajim"_s,
                                     u"thunderbird"_s,
                                     u"thunderbird-esr"_s,
                                     u"org.mozilla.thunderbird"_s,
                                     u"evolution"_s,
                                     u"org.gnome.evolution"_s,
                                     u"geary"_s,
                                     u"org.gnome.geary"_s,
                                     u"kmail"_s,
                                     u"org.kde.kmail2"_s,
                                     u"mailspring"_s,
                                     u"betterbird"_s,
                                     u"eu.betterbird.betterbird"_s};
    return names;
}

const QSet<QString>& codeEditors()
{
    static const QSet<QString> names{u"code"_s,
                                     u"code-oss"_s,
                                     u"vscodium"_s,
                                     u"codium"_s,
                                     u"com.visualstudio.code"_s,
                                     u"sublime_text"_s,
                                     u"sublime-text"_s,
                                     u"com.sublimetext.three"_s,
                                     u"emacs"_s,
                                     u"gvim"_s,
                                     u"neovide"_s,
                                     u"zed"_s,
                                     u"dev.zed.zed"_s,
                                     u"geany"_s,
                                     u"org.geany.geany"_s,
                                     u"qtcreator"_s,
                                     u"org.qt-project.qtcreator"_s,
                                     u"kdevelop"_s,
                                     u"org.kde.kdevelop"_s,
                                     u"kate"_s,
                                     u"org.kde.kate"_s,
                                     u"org.gnome.builder"_s,
                                     u"gnome-builder"_s,
                                     u"lapce"_s,
                                     u"dev.lapce.lapce"_s,
                                     u"cursor"_s,
                                     u"pulsar"_s,
                                     u"android-studio"_s};
    return names;
}

// Browsers, office suites and text editors write prose: they stay documents whatever the profile of the others.
const QSet<QString>& documents()
{
    static const QSet<QString> names{u"firefox"_s,
                                     u"firefox-esr"_s,
                                     u"org.mozilla.firefox"_s,
                                     u"navigator"_s,
                                     u"chromium"_s,
                                     u"chromium-browser"_s,
                                     u"google-chrome"_s,
                                     u"brave-browser"_s,
                                     u"microsoft-edge"_s,
                                     u"vivaldi-stable"_s,
                                     u"epiphany"_s,
                                     u"org.gnome.epiphany"_s,
                                     u"falkon"_s,
                                     u"org.kde.falkon"_s,
                                     u"abiword"_s,
                                     u"org.onlyoffice.desktopeditors"_s,
                                     u"desktopeditors"_s,
                                     u"wps"_s,
                                     u"gedit"_s,
                                     u"org.gnome.gedit"_s,
                                     u"org.gnome.texteditor"_s,
                                     u"gnome-text-editor"_s,
                                     u"mousepad"_s,
                                     u"pluma"_s,
                                     u"kwrite"_s,
                                     u"org.kde.kwrite"_s,
                                     u"obsidian"_s,
                                     u"joplin"_s,
                                     u"typora"_s,
                                     u"ghostwriter"_s,
                                     u"org.kde.ghostwriter"_s,
                                     u"calligrawords"_s};
    return names;
}

std::optional<TextProfile> builtInFor(const QString& name)
{
    if (terminals().contains(name))
        return TextProfile::terminal;
    if (chats().contains(name))
        return TextProfile::chat;
    if (codeEditors().contains(name) || name.startsWith(u"jetbrains-"_s))
        return TextProfile::code;
    if (documents().contains(name) || name.startsWith(u"libreoffice"_s) || name == u"soffice"_s)
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
    return std::any_of(names.begin(), names.end(), [](const QString& name) { return terminals().contains(name); });
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
