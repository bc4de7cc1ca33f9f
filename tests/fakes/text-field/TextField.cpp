// A window with one focused text field, standing for the application the user dictates into. Reports on
// standard output, one line each: "READY" once the field has the keyboard focus, "TEXT <content>" after
// every change (line breaks as the two characters "\n"), "KEY <shortcut>" for every key press it receives.
// A line "REPLACE <old>\t<new>" on standard input edits the text as the user would, replacing the last <old> by
// <new>. Qt's own -name option sets its WM_CLASS.
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

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

void replaceLast(QPlainTextEdit& field, const QString& old, const QString& now)
{
    const qsizetype at = field.toPlainText().lastIndexOf(old);
    if (at < 0)
        return;
    QTextCursor cursor(field.document());
    cursor.setPosition(static_cast<int>(at));
    cursor.setPosition(static_cast<int>(at + old.size()), QTextCursor::KeepAnchor);
    cursor.insertText(now);
}

// Runs the commands that arrive on standard input.
void followCommands(QPlainTextEdit& field, QSocketNotifier& input)
{
    static QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&field, &input] {
        char buffer[4096];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, count);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QString line = QString::fromUtf8(pending.left(end));
            const QStringList words = line.mid(line.indexOf(u' ') + 1).split(u'\t');
            if (line.startsWith(QLatin1String("REPLACE ")) && words.size() == 2)
                replaceLast(field, words.at(0), words.at(1));
        }
    });
}

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
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    followCommands(*field, input);
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
