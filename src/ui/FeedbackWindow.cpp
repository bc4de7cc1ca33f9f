#include "ui/FeedbackWindow.h"

#include "core/AlertPresenter.h"
#include "core/Log.h"
#include "core/SharedInstance.h"
#include "text/Graphemes.h"
#include "ui/Glyphs.h"
#include "ui/WindowFront.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

constexpr int windowWidth = 520;
constexpr int windowHeight = 430;
constexpr int shortestMessage = 10;

struct Kind
{
    const char* value;
    QString title;
};

const std::vector<Kind>& kinds()
{
    static const std::vector<Kind> list{
        {"bug", QStringLiteral("🐞 Ошибка")},
        {"idea", QStringLiteral("💡 Идея")},
        {"question", QStringLiteral("❓ Вопрос")},
    };
    return list;
}

QString sendTitle()
{
    return QStringLiteral("Отправить");
}

void alert(const QString& message, const QString& informativeText)
{
    AlertPresenter::shared().present({message, informativeText, {QStringLiteral("Понятно")}});
}

} // namespace

FeedbackWindow& FeedbackWindow::shared()
{
    return sharedInstance<FeedbackWindow>();
}

FeedbackWindow::FeedbackWindow(QObject* parent) : QObject(parent), openUrl(QDesktopServices::openUrl) {}

FeedbackWindow::~FeedbackWindow()
{
    delete window_;
}

QWidget* FeedbackWindow::window() const
{
    return window_;
}

void FeedbackWindow::showWindow()
{
    ensureWindow();
    WindowFront::centerOnScreen(window_);
    WindowFront::bringToFront(window_);
    textView_->setFocus();
}

void FeedbackWindow::ensureWindow()
{
    if (window_)
        return;
    window_ =
        new QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_->setObjectName(QStringLiteral("FeedbackWindow"));
    window_->setWindowTitle(QStringLiteral("Обратная связь — Толван"));
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setFixedSize(windowWidth, windowHeight);

    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);

    kinds_ = new QButtonGroup(window_);
    auto* kindRow = new QHBoxLayout;
    kindRow->setSpacing(0);
    for (size_t index = 0; index < kinds().size(); ++index) {
        auto* segment = new QPushButton(Glyphs::displayable(kinds()[index].title), window_);
        segment->setObjectName(QStringLiteral("kind_%1").arg(QLatin1String(kinds()[index].value)));
        segment->setCheckable(true);
        segment->setAutoDefault(false);
        segment->setChecked(index == 0);
        kinds_->addButton(segment, static_cast<int>(index));
        kindRow->addWidget(segment);
    }
    kindRow->addStretch(1);
    layout->addLayout(kindRow);

    layout->addWidget(new QLabel(QStringLiteral("Что случилось или чего не хватает:"), window_));
    textView_ = new QPlainTextEdit(window_);
    textView_->setObjectName(QStringLiteral("textView"));
    layout->addWidget(textView_, 1);

    layout->addWidget(new QLabel(QStringLiteral("Почта для ответа (необязательно):"), window_));
    emailField_ = new QLineEdit(window_);
    emailField_->setObjectName(QStringLiteral("emailField"));
    emailField_->setPlaceholderText(QStringLiteral("ivan@example.com"));
    layout->addWidget(emailField_);

    consentCheck_ = addWrappedCheck(layout, "consent",
                                    QStringLiteral("Я прочитал(а) политику конфиденциальности (%1) и соглашаюсь на "
                                                   "обработку персональных данных")
                                        .arg(Feedback::privacyPage()));
    metaCheck_ = addWrappedCheck(layout, "meta",
                                 QStringLiteral("Приложить сведения о версии приложения и системе (помогает чинить)"));
    metaCheck_->setChecked(true);

    auto* buttons = new QHBoxLayout;
    auto* cancelButton = new QPushButton(QStringLiteral("Отмена"), window_);
    cancelButton->setObjectName(QStringLiteral("cancelBtn"));
    cancelButton->setAutoDefault(false);
    sendButton_ = new QPushButton(sendTitle(), window_);
    sendButton_->setObjectName(QStringLiteral("sendBtn"));
    sendButton_->setDefault(true);
    sendButton_->setMinimumWidth(104);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(sendButton_);
    layout->addLayout(buttons);

    connect(cancelButton, &QPushButton::clicked, window_, &QDialog::close);
    connect(sendButton_, &QPushButton::clicked, this, &FeedbackWindow::send);
}

// A check box does not wrap its title, so a long one is a label beside the box that toggles it too.
QCheckBox* FeedbackWindow::addWrappedCheck(QVBoxLayout* layout, const char* name, const QString& title)
{
    auto* row = new QHBoxLayout;
    auto* box = new QCheckBox(window_);
    box->setObjectName(QLatin1String(name) + QStringLiteral("Check"));
    auto* label = new QLabel(title, window_);
    label->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    label->setWordWrap(true);
    label->setBuddy(box);
    label->installEventFilter(this);
    row->addWidget(box, 0, Qt::AlignTop);
    row->addWidget(label, 1);
    layout->addLayout(row);
    return box;
}

bool FeedbackWindow::eventFilter(QObject* watched, QEvent* event)
{
    const auto* label = qobject_cast<QLabel*>(watched);
    if (label && event->type() == QEvent::MouseButtonRelease) {
        if (auto* box = qobject_cast<QCheckBox*>(label->buddy()))
            box->toggle();
    }
    return QObject::eventFilter(watched, event);
}

FeedbackMessage FeedbackWindow::message() const
{
    FeedbackMessage result;
    result.kind = QString::fromLatin1(kinds().at(static_cast<size_t>(std::max(kinds_->checkedId(), 0))).value);
    result.message = textView_->toPlainText().trimmed();
    result.email = emailField_->text().trimmed();
    result.consent = consentCheck_->isChecked();
    result.attachMeta = metaCheck_->isChecked();
    return result;
}

bool FeedbackWindow::validate(const FeedbackMessage& message)
{
    if (Graphemes::count(message.message) < shortestMessage) {
        alert(QStringLiteral("Опишите чуть подробнее"),
              QStringLiteral("Хотя бы пара предложений — от 10 символов. Чем больше деталей, тем быстрее разберёмся."));
        return false;
    }
    if (!message.consent) {
        alert(QStringLiteral("Нужно согласие"),
              QStringLiteral("Отметьте согласие с политикой обработки персональных данных (%1) — без него отправка "
                             "невозможна.")
                  .arg(Feedback::privacyPage()));
        return false;
    }
    return true;
}

void FeedbackWindow::send()
{
    if (!sendButton_->isEnabled())
        return;
    const FeedbackMessage form = message();
    if (!validate(form))
        return;
    sendButton_->setEnabled(false);
    sendButton_->setText(QStringLiteral("Отправляю…"));
    if (!Feedback::endpointConfigured()) {
        answered({0, {}, QStringLiteral("адрес сервера обратной связи не настроен")}, form);
        return;
    }
    Feedback::send(network_, Feedback::body(form), this,
                   [this, form](const Feedback::Answer& answer) { answered(answer, form); });
}

void FeedbackWindow::answered(const Feedback::Answer& answer, const FeedbackMessage& form)
{
    sendButton_->setEnabled(true);
    sendButton_->setText(sendTitle());
    if (!Feedback::succeeded(answer)) {
        Log::info(Feedback::failureLogLine(answer));
        offerMailFallback(form.message);
        return;
    }
    textView_->clear();
    window_->close();
    alert(QStringLiteral("Спасибо!"), QStringLiteral("Сообщение улетело. ") +
                                          (form.email.contains(u'@') ? QStringLiteral("Ответим на указанную почту.")
                                                                     : QStringLiteral("Читаем всё.")));
}

void FeedbackWindow::offerMailFallback(const QString& message)
{
    const int answer = AlertPresenter::shared().present(
        {QStringLiteral("Не удалось отправить"),
         QStringLiteral("Сервер недоступен. Отправить письмом на %1?").arg(Feedback::supportMailbox()),
         {QStringLiteral("Написать письмо"), QStringLiteral("Отмена")}});
    const QUrl url = Feedback::mailUrl(message);
    if (answer == 0 && url.isValid() && openUrl)
        openUrl(url);
}
