#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// Runs the real tolvan executable, as a user would from a terminal.
struct ProcessOutput
{
    bool finished = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    QString out() const { return QString::fromUtf8(standardOutput); }
    QString err() const { return QString::fromUtf8(standardError); }
    // Standard output split at line feeds, without the empty piece after the last one.
    QStringList outLines() const;
};

QString tolvanExecutable();

// Runs any program the same way.
ProcessOutput runProgram(const QString& program, const QStringList& arguments, const QByteArray& standardInput = {},
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                         int timeoutMs = 30000);

// The child inherits the test's isolated environment unless one is given; it is killed after the timeout
// (and `finished` stays false).
ProcessOutput runTolvan(const QStringList& arguments, const QByteArray& standardInput = {},
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                        int timeoutMs = 30000);
