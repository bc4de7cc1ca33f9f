#include "support/TolvanProcess.h"

#include <QProcess>

QStringList ProcessOutput::outLines() const
{
    QStringList lines = out().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString tolvanExecutable()
{
    // Another build of the same sources, e.g. the one with the sanitizers.
    const QString chosen = qEnvironmentVariable("TOLVAN_TEST_EXECUTABLE");
    return chosen.isEmpty() ? QStringLiteral(TOLVAN_EXECUTABLE) : chosen;
}

ProcessOutput runTolvan(const QStringList& arguments, const QByteArray& standardInput,
                        const QProcessEnvironment& environment, int timeoutMs)
{
    return runProgram(tolvanExecutable(), arguments, standardInput, environment, timeoutMs);
}

ProcessOutput runProgram(const QString& program, const QStringList& arguments, const QByteArray& standardInput,
                         const QProcessEnvironment& environment, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProcessOutput output;
    if (!process.waitForStarted(timeoutMs))
        return output;
    process.write(standardInput);
    process.closeWriteChannel();
    output.finished = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!output.finished) {
        process.kill();
        process.waitForFinished();
    }
    output.exitCode = process.exitCode();
    output.standardOutput = process.readAllStandardOutput();
    output.standardError = process.readAllStandardError();
    return output;
}
