#include "app/LearnWordDialog.h"

#include "platform/ActiveWindow.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

LearnWordDialog::LearnWordDialog(const QString& heard, QWidget* parent)
    : QDialog(parent), wrong_(new QLineEdit(this)), right_(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Выучить слово"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* message = new QLabel(QStringLiteral("<b>Выучить слово</b>"), this);
    auto* explanation =
        new QLabel(QStringLiteral("Обе формы — в именительном падеже. Правильное написание попадёт в подсказку модели "
                                  "(распознавание станет точнее) и в автозамену с учётом падежных окончаний."),
                   this);
    explanation->setWordWrap(true);
    wrong_->setPlaceholderText(QStringLiteral("например, гитхаб"));
    right_->setPlaceholderText(QStringLiteral("например, GitHub"));
    wrong_->setText(heard);
    wrong_->setMinimumWidth(205);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(QStringLiteral("Распознаётся:"), wrong_);
    form->addRow(QStringLiteral("Правильно:"), right_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* learn =
        buttons->addButton(heard.isEmpty() ? QStringLiteral("Выучить") : QStringLiteral("Выучить и заменить"),
                           QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    learn->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addWidget(explanation);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    (heard.isEmpty() ? wrong_ : right_)->setFocus();
}

QString LearnWordDialog::wrong() const
{
    return wrong_->text().trimmed();
}

QString LearnWordDialog::right() const
{
    return right_->text().trimmed();
}

void LearnWordDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A tray program's own request for the focus may be refused by the window manager; this one comes
    // as from a task bar, which window managers honour.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        QTimer::singleShot(0, this, [this] { ActiveWindow::activate(winId()); });
}
