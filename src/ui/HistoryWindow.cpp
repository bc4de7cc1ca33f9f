#include "ui/HistoryWindow.h"

#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "dictation/TextInserter.h"
#include "ui/Glyphs.h"
#include "ui/NoteLabel.h"
#include "ui/WindowFront.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace
{

constexpr int windowWidth = 600;
constexpr int windowHeight = 480;

// An entry as one line of the list: its line breaks shown as "↵" (a plain space where no font draws it).
QString oneLine(const QString& entry)
{
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n\\x{2028}\\x{2029}]+\\s*"));
    static const QString mark = Glyphs::displayable(QStringLiteral(" ↵ "));
    return entry.trimmed().replace(lineBreaks, mark);
}

// Where the entry at `row` of the history as it was read (`before`) is in the history now. The history only grows at
// its head, dropping its tail: the entry moved down by the entries added since. Should the history have changed
// otherwise, the first entry with its text is taken; -1 when none is left.
int followedRow(const QStringList& before, const QStringList& now, int row, const QString& text)
{
    if (row >= 0) {
        for (qsizetype added = 0; added < now.size(); ++added) {
            const qsizetype kept = now.size() - added;
            if (kept <= before.size() && now.mid(added) == before.mid(0, kept))
                return row + added < now.size() ? static_cast<int>(row + added) : -1;
        }
    }
    return static_cast<int>(now.indexOf(text));
}

QPushButton* button(QWidget* parent, const char* name, const QString& title)
{
    auto* result = new QPushButton(title, parent);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

HistoryWindow& HistoryWindow::shared()
{
    return sharedInstance<HistoryWindow>();
}

HistoryWindow::HistoryWindow(QObject* parent) : QObject(parent) {}

HistoryWindow::~HistoryWindow()
{
    delete window_;
}

QWidget* HistoryWindow::window() const
{
    return window_;
}

void HistoryWindow::showWindow()
{
    const bool firstShow = !window_;
    ensureWindow();
    reload(true);
    if (firstShow)
        WindowFront::centerOnScreen(window_);
    WindowFront::bringToFront(window_);
    list_->setFocus();
}

void HistoryWindow::ensureWindow()
{
    if (window_)
        return;
    window_ = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window_->setObjectName(QStringLiteral("HistoryWindow"));
    window_->setWindowTitle(QStringLiteral("История"));
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->resize(windowWidth, windowHeight);
    window_->setMinimumSize(windowWidth * 3 / 4, windowHeight * 3 / 4);
    window_->installEventFilter(this);

    list_ = new QListWidget(window_);
    list_->setObjectName(QStringLiteral("entryList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // An entry longer than the list is wide ends in "…" rather than scrolling.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setTextElideMode(Qt::ElideRight);
    list_->setUniformItemSizes(true);
    editor_ = new QPlainTextEdit(window_);
    editor_->setObjectName(QStringLiteral("entryEditor"));
    // Lines wrap, long words anywhere: a horizontal bar would only ever show empty.
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QLabel* note = NoteLabel::make(window_, QStringLiteral("Исправьте неверно распознанное слово и сохраните — Толван "
                                                           "предложит запомнить написание, если в настройках "
                                                           "включено «Учиться на моих исправлениях»."));
    copyButton_ = button(window_, "copyBtn", QStringLiteral("Копировать"));
    saveButton_ = button(window_, "saveBtn", QStringLiteral("Сохранить исправление"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copyButton_);
    buttons->addWidget(saveButton_);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->addWidget(list_, 3);
    layout->addWidget(editor_, 2);
    layout->addWidget(note);
    layout->addLayout(buttons);

    connect(list_, &QListWidget::currentRowChanged, this, &HistoryWindow::rowClicked);
    connect(editor_, &QPlainTextEdit::textChanged, this, &HistoryWindow::updateButtons);
    connect(saveButton_, &QPushButton::clicked, this, &HistoryWindow::save);
    connect(copyButton_, &QPushButton::clicked, this, [this] { TextInserter::copyRaw(typed()); });
}

// Dictations made while the window stood open show when it is back in front.
bool HistoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.data() && event->type() == QEvent::WindowActivate)
        reload(false);
    return QObject::eventFilter(watched, event);
}

void HistoryWindow::reload(bool newest)
{
    if (asking_)
        return;
    const QStringList now = SettingsStore::shared().history();
    const int followed = original_ ? followedRow(entries_, now, row_, *original_) : -1;
    entries_ = now;
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
        for (const QString& entry : entries_)
            list_->addItem(oneLine(entry));
    }
    if (!edited()) {
        choose(newest || followed < 0 ? 0 : followed);
        return;
    }
    row_ = followed;
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(row_);
}

void HistoryWindow::choose(int row)
{
    row_ = row >= 0 && row < entries_.size() ? row : -1;
    original_ = row_ >= 0 ? std::optional(entries_.at(row_)) : std::nullopt;
    {
        const QSignalBlocker quiet(list_);
        list_->setCurrentRow(row_);
    }
    editor_->setPlainText(original_.value_or(QString()));
    editor_->setEnabled(original_.has_value());
    editor_->setPlaceholderText(original_ ? QString()
                                          : QStringLiteral("История пуста: здесь появится продиктованное."));
    shown_ = typed();
    updateButtons();
}

void HistoryWindow::rowClicked(int row)
{
    if (!edited()) {
        choose(row);
        return;
    }
    // Asked once the list is done with the click: a row put back under a mouse press would be selected by it anyway.
    QTimer::singleShot(0, this, &HistoryWindow::settleChoice);
}

void HistoryWindow::settleChoice()
{
    const int row = list_->currentRow();
    if (row == row_)
        return;
    if (!edited() || settleFix()) {
        choose(row);
        return;
    }
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(row_);
}

bool HistoryWindow::settleFix()
{
    const int answer = ask({QStringLiteral("Сохранить исправление?"),
                            QStringLiteral("Текст записи изменён, но ещё не сохранён в истории."),
                            {QStringLiteral("Сохранить"), QStringLiteral("Не сохранять"), QStringLiteral("Отмена")}});
    return answer == 0 ? save() : answer == 1;
}

bool HistoryWindow::save()
{
    if (!edited())
        return false;
    const QString before = *original_;
    const QString after = typed();
    if (after.trimmed().isEmpty()) {
        ask({QStringLiteral("Запись не может быть пустой"),
             QStringLiteral("Исправьте в тексте нужное слово, не стирая остального."),
             {QStringLiteral("Понятно")}});
        return false;
    }
    // Dictations made since the list was read are at the head of the history now: the row is followed there.
    QStringList now = SettingsStore::shared().history();
    if (const int at = followedRow(entries_, now, row_, before); at >= 0) {
        now[at] = after;
        SettingsStore::shared().setHistory(now);
    }
    if (row_ >= 0) {
        entries_[row_] = after;
        list_->item(row_)->setText(oneLine(after));
    }
    original_ = after;
    shown_ = after;
    updateButtons();
    emit entryEdited(before, after);
    return true;
}

// The editor's text as typed: QPlainTextEdit::toPlainText() would turn the no-break spaces of the typography into
// plain ones.
QString HistoryWindow::typed() const
{
    return editor_->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

bool HistoryWindow::edited() const
{
    return original_ && typed() != shown_;
}

void HistoryWindow::updateButtons()
{
    saveButton_->setEnabled(edited());
    copyButton_->setEnabled(!typed().isEmpty());
}

int HistoryWindow::ask(const Alert& alert)
{
    const QScopedValueRollback asking(asking_, true);
    return AlertPresenter::shared().present(alert);
}
