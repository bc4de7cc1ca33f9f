#include "app/LearnWordFlow.h"

#include "app/LearnWordDialog.h"
#include "dictation/TextInserter.h"
#include "platform/KeyInjector.h"
#include "platform/SelectionOwner.h"
#include "platform/WaylandRoute.h"
#include "text/Corrections.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

namespace
{

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

std::optional<CorrectionPair> askInDialog(const QString& heard)
{
    LearnWordDialog dialog(heard);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return CorrectionPair{dialog.wrong(), dialog.right()};
}

std::optional<QString> focusedNativeWindowsSelection()
{
    if (!KeyInjector::nativeWindowFocused())
        return std::nullopt;
    WaylandRoute& route = WaylandRoute::shared();
    if (route.hasOwnClipboard())
        return route.selectedText().value_or(QString());
    // Mutter hands native windows' primary selection on to X11 programs.
    return clipboard()->text(QClipboard::Selection);
}

void restoreClipboard(const QString& previous)
{
    if (clipboard()->text() == previous)
        return;
    clipboard()->clear();
    if (!previous.isEmpty())
        clipboard()->setText(previous);
}

} // namespace

LearnWordFlow::LearnWordFlow()
    : primaryIsFocusedWindows(SelectionOwner::primaryIsFocusedWindows), nativeSelection(focusedNativeWindowsSelection),
      postCopy([this](std::function<void()> posted) { TextInserter::copySelection(this, std::move(posted)); }),
      ask(askInDialog), replaceSelection([this](ActiveWindow::WindowId window, const QString& text) {
          ActiveWindow::activate(window);
          QTimer::singleShot(pasteAfterLearnMs, this, [text] { TextInserter::pasteRaw(text); });
      })
{
    connect(clipboard(), &QClipboard::dataChanged, this, [this] { ++clipboardChanges_; });
}

void LearnWordFlow::start()
{
    const ActiveWindow::WindowId window = activeWindow();
    if (const std::optional<QString> selected = nativeSelection()) {
        askAndLearn(selected->trimmed(), window);
        return;
    }
    // The focused window's own selection is at hand without a keystroke, and the clipboard stays untouched.
    if (primaryIsFocusedWindows()) {
        const QString selected = clipboard()->text(QClipboard::Selection).trimmed();
        if (!selected.isEmpty()) {
            askAndLearn(selected, window);
            return;
        }
    }
    copyThenAsk(window);
}

void LearnWordFlow::copyThenAsk(ActiveWindow::WindowId window)
{
    const QString previous = clipboard()->text();
    const quint64 changesBefore = clipboardChanges_;
    postCopy([self = QPointer<LearnWordFlow>(this), previous, changesBefore, window] {
        if (!self)
            return;
        QTimer::singleShot(copyWaitMs, self, [self, previous, changesBefore, window] {
            self->readCopy(previous, changesBefore, window);
        });
    });
}

void LearnWordFlow::readCopy(const QString& previous, quint64 changesBefore, ActiveWindow::WindowId window)
{
    const QString heard = clipboardChanges_ != changesBefore ? clipboard()->text().trimmed() : QString();
    restoreClipboard(previous);
    askAndLearn(heard, window);
}

void LearnWordFlow::askAndLearn(const QString& heard, ActiveWindow::WindowId window)
{
    const QString word = heard.size() > longestLearnedWord ? QString() : heard;
    const std::optional<CorrectionPair> pair = ask(word);
    if (!pair || pair->wrong.isEmpty() || pair->right.isEmpty())
        return;
    Corrections::add(pair->wrong, pair->right);
    if (onLearned)
        onLearned();
    if (!word.isEmpty() && window != 0)
        replaceSelection(window, pair->right);
}
