#include "dictation/TextInserter.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "platform/KeyInjector.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

namespace
{

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

// Ctrl+key, or Ctrl+Shift+key when the focused window is a terminal; off the main thread.
bool postShortcutForFocusedWindow(Keys::Keysym key)
{
    const bool terminal = TextInserter::isTerminal(KeyInjector::focusedWindowClass());
    return TextInserter::postKey(key, terminal ? Keys::control | Keys::shift : Keys::control);
}

// Whether the clipboard is ours and holds exactly this text. Never asks another program: a clipboard owner
// that hangs would keep the main thread waiting for seconds.
bool holds(const QString& text)
{
    // Only X11 tells whether the clipboard is ours; elsewhere it is process-local or answers at once.
    static const bool ownershipKnown = QGuiApplication::platformName() == QLatin1String("xcb");
    return (clipboard()->ownsClipboard() || !ownershipKnown) && clipboard()->text() == text;
}

// Puts the text on the clipboard; false when another program kept it (the X server refuses a new owner
// whose request is stamped older than the current owner's).
bool putOnClipboard(const QString& text)
{
    if (holds(text))
        return true;
    clipboard()->setText(text);
    return holds(text);
}

// A text for the clipboard, then the paste keystroke unless it is only copied.
struct Paste
{
    QString text;
    bool keystroke = true;
    std::function<void()> afterPaste;
    std::function<void(bool onClipboard)> notPasted;
};

// Pastes and copies run one after another: each paste's text stays on the clipboard until its target has had the
// time to fetch it, so neither a second text nor a copy can be pasted in place of the first. Main thread.
std::deque<Paste> pastes;
bool pasting = false;

void pasteNext();

// The next paste may take the clipboard once the target of this one has fetched it.
void pasted()
{
    MainThread::post([] { QTimer::singleShot(TextInserter::pasteDelayMs, QCoreApplication::instance(), pasteNext); });
}

// The text onto the clipboard, the paste keystroke after the delay that lets the target see it, then afterPaste,
// both on a background thread. Nothing is pasted unless the clipboard holds the text: pasting would insert
// whatever another program put there.
void pasteNext()
{
    pasting = !pastes.empty();
    if (!pasting)
        return;
    Paste paste = std::move(pastes.front());
    pastes.pop_front();
    putOnClipboard(paste.text);
    if (!paste.keystroke) {
        pasteNext();
        return;
    }
    QTimer::singleShot(TextInserter::pasteDelayMs, QCoreApplication::instance(), [paste = std::move(paste)] {
        if (!putOnClipboard(paste.text)) {
            Log::info(QStringLiteral("Буфер обмена занят другой программой — вставка отменена"));
            if (paste.notPasted)
                paste.notPasted(false);
            pasteNext();
            return;
        }
        QThreadPool::globalInstance()->start([afterPaste = paste.afterPaste, notPasted = paste.notPasted] {
            if (postShortcutForFocusedWindow(Keys::v)) {
                if (afterPaste)
                    afterPaste();
            } else if (notPasted) {
                MainThread::post([notPasted] { notPasted(true); });
            }
            pasted();
        });
    });
}

void schedule(Paste paste)
{
    pastes.push_back(std::move(paste));
    if (!pasting)
        pasteNext();
}

QString withSpace(const QString& text)
{
    return SettingsStore::shared().boolForKey(SettingsKey::appendSpace) ? text + QLatin1Char(' ') : text;
}

void restoreIfUnchanged(const QString& inserted, const QString& previous)
{
    if (!holds(inserted)) {
        Log::info(QStringLiteral("Буфер обмена не восстановлен: в нём уже другой текст"));
        return;
    }
    clipboard()->setText(previous);
    Log::info(QStringLiteral("Буфер обмена восстановлен"));
}

} // namespace

namespace TextInserter
{

void insert(const QString& text, std::function<void(bool onClipboard)> notPasted)
{
    SettingsStore& settings = SettingsStore::shared();
    const QString inserted = withSpace(text);
    std::optional<QString> previous;
    if (settings.boolForKey(SettingsKey::restoreClipboard)) {
        const QString current = clipboard()->text();
        if (!current.isEmpty())
            previous = current;
    }
    if (!settings.boolForKey(SettingsKey::autoPaste)) {
        copyRaw(inserted);
        return;
    }
    schedule(Paste{inserted, true,
                   [inserted, previous] {
                       if (!previous || !SettingsStore::shared().boolForKey(SettingsKey::restoreClipboard))
                           return;
                       MainThread::post([inserted, previous = *previous] {
                           QTimer::singleShot(restoreDelayMs, QCoreApplication::instance(),
                                              [inserted, previous] { restoreIfUnchanged(inserted, previous); });
                       });
                   },
                   std::move(notPasted)});
}

void copy(const QString& text)
{
    copyRaw(withSpace(text));
}

void copyRaw(const QString& text)
{
    schedule(Paste{text, false, nullptr, nullptr});
}

void pasteRaw(const QString& text)
{
    schedule(Paste{text, true, nullptr, nullptr});
}

void copySelection(QObject* context, std::function<void()> posted)
{
    QThreadPool::globalInstance()->start([context = QPointer<QObject>(context), posted = std::move(posted)] {
        postShortcutForFocusedWindow(Keys::c);
        MainThread::post([context, posted] {
            if (context)
                posted();
        });
    });
}

bool postKey(Keys::Keysym key, Keys::Modifiers modifiers)
{
    // Paired with the line below: a keystroke is under way from this line until that one.
    Log::info(QStringLiteral("Отправляю нажатие клавиш"));
    if (!KeyInjector::waitForModifiersReleased(modifierReleaseTimeoutMs))
        Log::info(QStringLiteral("Клавиши-модификаторы всё ещё нажаты — отправляю нажатие всё равно"));
    if (KeyInjector::postKey(key, modifiers)) {
        Log::info(QStringLiteral("Нажатие клавиш отправлено"));
        return true;
    }
    Log::info(QStringLiteral("Не удалось отправить нажатие клавиш: текст оставлен в буфере обмена"));
    return false;
}

bool isTerminal(const QStringList& windowClass)
{
    static const QStringList terminals{
        QStringLiteral("xterm"),
        QStringLiteral("uxterm"),
        QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("org.gnome.console"),
        QStringLiteral("org.gnome.terminal"),
        QStringLiteral("kgx"),
        QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        QStringLiteral("terminator"),
        QStringLiteral("tilix"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("foot"),
        QStringLiteral("sakura"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("yakuake"),
        QStringLiteral("terminology"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("deepin-terminal"),
        QStringLiteral("eterm"),
        QStringLiteral("termite"),
        QStringLiteral("ghostty"),
        QStringLiteral("com.mitchellh.ghostty"),
    };
    for (const QString& name : windowClass) {
        if (terminals.contains(name.toLower()))
            return true;
    }
    return false;
}

} // namespace TextInserter
