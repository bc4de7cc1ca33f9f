#include "dictation/TextInserter.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "platform/Clipboard.h"
#include "platform/KeyInjector.h"
#include "platform/WaylandRoute.h"
#include "text/WindowProfiles.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

namespace
{

Keys::Modifiers shortcutModifiers()
{
    return WindowProfiles::isTerminal(KeyInjector::focusedWindowClass()) ? Keys::control | Keys::shift : Keys::control;
}

struct PasteKeys
{
    Keys::Keysym key = Keys::v;
    Keys::Modifiers modifiers = Keys::control;
};

// Where the route cannot tell what kind of program a native window belongs to (GNOME), Shift+Insert pastes the
// clipboard in GTK, Qt and browsers and the primary selection in VTE terminals (GNOME Terminal, Console, Ptyxis),
// where Ctrl+V would type ^V: such a window gets Shift+Insert, with the text on both.
bool windowKindUnknown()
{
    return WaylandRoute::shared().pastesBlind() && KeyInjector::nativeWindowFocused() &&
           KeyInjector::focusedWindowClass().isEmpty();
}

PasteKeys pasteKeys(bool kindUnknown)
{
    if (kindUnknown)
        return {Keys::insert, Keys::shift};
    return {Keys::v, shortcutModifiers()};
}

// One key press and release with these modifiers into the target, once the user holds no modifier key (at most
// modifierReleaseTimeoutMs): a held Alt or Shift would turn Ctrl+V into another shortcut. Blocks: off the main thread.
TextInserter::Outcome postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                              const QString& pasted)
{
    // Paired with one of the lines below: a keystroke is under way from this line until that one.
    Log::info(QStringLiteral("Отправляю нажатие клавиш"));
    if (!KeyInjector::waitForModifiersReleased(TextInserter::modifierReleaseTimeoutMs)) {
        Log::info(QStringLiteral("Не удалось отправить нажатие клавиш: клавиши-модификаторы всё ещё нажаты"));
        return TextInserter::Outcome::modifiersHeld;
    }
    switch (KeyInjector::postKey(target, key, modifiers, pasted)) {
    case KeyInjector::Keystroke::posted:
        Log::info(QStringLiteral("Нажатие клавиш отправлено"));
        return TextInserter::Outcome::pasted;
    case KeyInjector::Keystroke::targetLeft:
        Log::info(QStringLiteral("Не удалось отправить нажатие клавиш: окно диктовки ушло с переднего плана"));
        break;
    case KeyInjector::Keystroke::clipboardNotOurs:
    case KeyInjector::Keystroke::failed:
        Log::info(QStringLiteral("Не удалось отправить нажатие клавиш: текст оставлен в буфере обмена"));
        break;
    }
    return TextInserter::Outcome::onClipboard;
}

// A text for the clipboard, then the paste keystroke into its target unless it is only copied.
struct Paste
{
    QString text;
    bool keystroke = true;
    ActiveWindow::WindowId target = 0;
    // Whether the clipboard's previous text comes back after the paste, and that text.
    bool restore = false;
    std::optional<QString> previous;
    std::function<void(TextInserter::Outcome)> done;
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

void report(const Paste& paste, TextInserter::Outcome outcome)
{
    if (paste.done)
        MainThread::post([done = paste.done, outcome] { done(outcome); });
}

void restore(const QString& inserted, const QString& previous, bool focusedOwn)
{
    Log::info(Clipboard::restore(inserted, previous, focusedOwn)
                  ? QStringLiteral("Буфер обмена восстановлен")
                  : QStringLiteral("Буфер обмена не восстановлен: в нём уже другой текст"));
}

// The previous text back once the target has surely fetched the pasted one, on the clipboard the paste used: the
// native window's own, through the compositor, where it keeps one apart from X11's.
void restoreLater(const QString& inserted, const QString& previous, bool focusedOwn)
{
    MainThread::post([inserted, previous, focusedOwn] {
        QTimer::singleShot(TextInserter::restoreDelayMs, QCoreApplication::instance(), [=] {
            if (!focusedOwn) {
                restore(inserted, previous, false);
                return;
            }
            QThreadPool::globalInstance()->start([inserted, previous] { restore(inserted, previous, true); });
        });
    });
}

// Off the main thread: the keystroke, and the clipboard's previous text back afterwards.
void pasteInto(Paste paste, PasteKeys keys)
{
    const bool focusedOwn = Clipboard::focusedKeepsItsOwn();
    if (paste.restore && focusedOwn)
        paste.previous = Clipboard::focusedText();
    const TextInserter::Outcome outcome = postKey(paste.target, keys.key, keys.modifiers, paste.text);
    if (outcome != TextInserter::Outcome::pasted)
        Clipboard::shareWithNativeWindows(paste.text);
    else if (paste.restore && paste.previous && !paste.previous->isEmpty())
        restoreLater(paste.text, *paste.previous, focusedOwn);
    report(paste, outcome);
    pasted();
}

// The text onto the clipboard, the paste keystroke once the target can see it. Nothing is pasted
// unless the clipboard holds the text: pasting would insert whatever another program put there.
void pasteNext()
{
    pasting = !pastes.empty();
    if (!pasting)
        return;
    Paste paste = std::move(pastes.front());
    pastes.pop_front();
    if (!paste.keystroke) {
        Clipboard::put(paste.text);
        Clipboard::shareWithNativeWindows(paste.text);
        report(paste, TextInserter::Outcome::copied);
        pasteNext();
        return;
    }
    // The selection before the clipboard: a route that waits until native windows are offered the clipboard
    // then knows the selection, set earlier, has reached them as well.
    const bool kindUnknown = windowKindUnknown();
    if (kindUnknown)
        Clipboard::putSelection(paste.text);
    Clipboard::put(paste.text);
    const int delayMs = KeyInjector::waitsForPastedText() ? 0 : TextInserter::pasteDelayMs;
    QTimer::singleShot(delayMs, QCoreApplication::instance(), [paste = std::move(paste), kindUnknown] {
        if (!Clipboard::put(paste.text)) {
            Log::info(QStringLiteral("Буфер обмена занят другой программой — вставка отменена"));
            report(paste, TextInserter::Outcome::clipboardTaken);
            pasteNext();
            return;
        }
        QThreadPool::globalInstance()->start([paste, keys = pasteKeys(kindUnknown)] { pasteInto(paste, keys); });
    });
}

void schedule(Paste paste)
{
    pastes.push_back(std::move(paste));
    if (!pasting)
        pasteNext();
}

// A line feed at the end of a paste into a terminal would run the command line the user is still writing; where
// the kind of window is unknown it may be a terminal too.
QString forTarget(const QString& text)
{
    if (!windowKindUnknown() && !WindowProfiles::isTerminal(KeyInjector::focusedWindowClass()))
        return text;
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

QString withSpace(const QString& text)
{
    return SettingsStore::shared().boolForKey(SettingsKey::appendSpace) ? text + QLatin1Char(' ') : text;
}

} // namespace

namespace TextInserter
{

void insert(const QString& text, ActiveWindow::WindowId target, std::function<void(Outcome)> done)
{
    SettingsStore& settings = SettingsStore::shared();
    if (!settings.boolForKey(SettingsKey::autoPaste)) {
        schedule(Paste{withSpace(text), false, 0, false, std::nullopt, std::move(done)});
        return;
    }
    const QString inserted = withSpace(forTarget(text));
    const bool restore = settings.boolForKey(SettingsKey::restoreClipboard);
    std::optional<QString> previous;
    if (restore)
        previous = Clipboard::text();
    schedule(Paste{inserted, true, target, restore, previous, std::move(done)});
}

void copy(const QString& text)
{
    copyRaw(withSpace(text));
}

void copyRaw(const QString& text)
{
    schedule(Paste{text, false, 0, false, std::nullopt, nullptr});
}

void pasteRaw(const QString& text)
{
    schedule(Paste{forTarget(text), true, 0, false, std::nullopt, nullptr});
}

void copySelection(QObject* context, std::function<void()> posted)
{
    QThreadPool::globalInstance()->start([context = QPointer<QObject>(context), posted = std::move(posted)] {
        if (!KeyInjector::nativeWindowFocused())
            postKey(0, Keys::c, shortcutModifiers(), {});
        MainThread::post([context, posted] {
            if (context)
                posted();
        });
    });
}

} // namespace TextInserter
