#include "platform/Clipboard.h"

#include "platform/KeyInjector.h"
#include "platform/WaylandRoute.h"

#include <QClipboard>
#include <QGuiApplication>

namespace
{

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

} // namespace

namespace Clipboard
{

bool holds(const QString& text)
{
    // Only X11 tells whether the clipboard is ours; elsewhere it is process-local or answers at once.
    static const bool ownershipKnown = QGuiApplication::platformName() == QLatin1String("xcb");
    return (clipboard()->ownsClipboard() || !ownershipKnown) && clipboard()->text() == text;
}

bool put(const QString& text)
{
    if (holds(text))
        return true;
    clipboard()->setText(text);
    return holds(text);
}

void putSelection(const QString& text)
{
    clipboard()->setText(text, QClipboard::Selection);
}

QString text()
{
    return clipboard()->text();
}

void shareWithNativeWindows(const QString& text)
{
    WaylandRoute::shared().shareClipboard(text);
}

bool focusedKeepsItsOwn()
{
    return KeyInjector::nativeWindowFocused() && WaylandRoute::shared().hasOwnClipboard();
}

std::optional<QString> focusedText()
{
    return WaylandRoute::shared().clipboardText();
}

bool restore(const QString& inserted, const QString& previous, bool focusedOwn)
{
    if (focusedOwn)
        return WaylandRoute::shared().restoreClipboard(inserted, previous);
    if (!holds(inserted))
        return false;
    clipboard()->setText(previous);
    return true;
}

} // namespace Clipboard
