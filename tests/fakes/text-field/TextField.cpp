// A window with one focused text field, standing for the application the user dictates into. Reports on
// standard output, one line each: "READY" once the field has the keyboard focus, "TEXT <content>" after
// every change (line breaks as the two characters "\n"), "KEY <shortcut>" for every key press it receives.
// Qt's own -name option sets its WM_CLASS.
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace
{

void report(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

class KeyReporter : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Control && key->key() != Qt::Key_Shift && key->key() != Qt::Key_Alt &&
                key->key() != Qt::Key_Meta && key->key() != Qt::Key_AltGr)
                report(QStringLiteral("KEY ") +
                       QKeySequence(key->keyCombination()).toString(QKeySequence::PortableText));
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Поле ввода"));
    auto* field = new QPlainTextEdit(&window);
    QObject::connect(field, &QPlainTextEdit::textChanged, [field] {
        report(QStringLiteral("TEXT ") + field->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\\n")));
    });
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    window.resize(480, 160);
    window.move(100, 100);
    KeyReporter reporter;
    field->installEventFilter(&reporter);
    window.show();
    window.activateWindow();
    field->setFocus();

    QTimer readiness;
    QObject::connect(&readiness, &QTimer::timeout, [&] {
        if (window.isActiveWindow() && field->hasFocus()) {
            readiness.stop();
            report(QStringLiteral("READY"));
        } else {
            window.activateWindow();
        }
    });
    readiness.start(20);
    return QApplication::exec();
}
