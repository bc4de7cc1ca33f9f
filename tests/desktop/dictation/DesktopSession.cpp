#include "DesktopSession.h"

#include <QDir>
#include <QTest>

namespace
{

// Outside the desktop session every test skips; without this even listing them would need a display.
const bool headlessOutsideTheSession = [] {
    if (qEnvironmentVariable("TOLVAN_TEST_DESKTOP") != QLatin1String("1"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    return true;
}();

} // namespace

namespace DesktopSession
{

bool isAvailable()
{
    return qEnvironmentVariable("TOLVAN_TEST_DESKTOP") == QLatin1String("1");
}

bool finishes(QProcess& process, int timeoutMs)
{
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

int run(const QString& program, const QStringList& arguments, QString* output, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return -1;
    process.closeWriteChannel();
    if (!finishes(process, timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    process->waitForStarted(5000);
    return process;
}

std::unique_ptr<QProcess> keys(const QStringList& steps)
{
    return start(QStringLiteral(TOLVAN_FAKES_DIR "/xkey"), steps);
}

QString clipboard()
{
    QString text;
    run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")},
        &text, 5000);
    return text;
}

void setClipboardElsewhere(const QString& text)
{
    QProcess xclip;
    // xclip keeps serving the selection from a child process until another program takes it.
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    xclip.waitForStarted(5000);
    xclip.write(text.toUtf8());
    xclip.closeWriteChannel();
    finishes(xclip, 5000);
}

QString screenshot(const QString& name)
{
    QDir().mkpath(QStringLiteral(TOLVAN_SCREENSHOTS_DIR));
    const QString file = QStringLiteral(TOLVAN_SCREENSHOTS_DIR "/") + name + QStringLiteral(".png");
    run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    return file;
}

} // namespace DesktopSession

TextFieldWindow::TextFieldWindow(const QStringList& arguments)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    process_.start(QStringLiteral(TOLVAN_FAKES_DIR "/text-field"), arguments);
    ready_ = process_.waitForStarted(5000) && QTest::qWaitFor([this] { return ready_; }, 10000);
}

TextFieldWindow::~TextFieldWindow()
{
    QObject::disconnect(&process_, nullptr, nullptr, nullptr);
    process_.kill();
    process_.waitForFinished(3000);
}

void TextFieldWindow::readLines()
{
    pending_ += QString::fromUtf8(process_.readAllStandardOutput());
    qsizetype end = 0;
    while ((end = pending_.indexOf(QLatin1Char('\n'))) >= 0) {
        const QString line = pending_.left(end);
        pending_.remove(0, end + 1);
        if (line == QLatin1String("READY"))
            ready_ = true;
        else if (line.startsWith(QLatin1String("TEXT ")))
            text_ = line.mid(5);
        else if (line.startsWith(QLatin1String("KEY ")))
            keys_ << line.mid(4);
    }
}

QString TextFieldWindow::text()
{
    QTest::qWait(1);
    return text_;
}

QStringList TextFieldWindow::keys()
{
    QTest::qWait(1);
    return keys_;
}

bool TextFieldWindow::waitForText(const QString& expected, int timeoutMs)
{
    return QTest::qWaitFor([&] { return text_ == expected; }, timeoutMs);
}

void DesktopTest::SetUp()
{
    if (!DesktopSession::isAvailable())
        GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
}
