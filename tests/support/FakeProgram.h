#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the fake programs under tests/fakes share: a script in FAKE_<NAME>_* environment variables, a record
// directory (FAKE_<NAME>_RECORD_DIR) where they leave what they were given, termination signals, and an exit on
// their own (FAKE_<NAME>_EXIT_AFTER_MS with FAKE_<NAME>_EXIT_CODE).
class FakeProgram
{
public:
    // `name` as in the variables: "WHISPER" reads FAKE_WHISPER_*.
    explicit FakeProgram(const char* name) : prefix_(QByteArray("FAKE_") + name + '_') {}

    QString text(const char* variable, const QString& fallback = {}) const;
    // The fallback when the variable is unset or not a number.
    int number(const char* variable, int fallback = 0) const;
    bool isOn(const char* variable) const { return number(variable) == 1; }

    // Writes a file of the record directory, creating it; nothing without one.
    void record(const QString& file, const QByteArray& content, bool append = false) const;
    // args.txt: the arguments after the program's name, one a line.
    void recordArguments(const QStringList& arguments) const;

    // The value given to each flag (empty for a switch); `arity` holds how many values follow each flag the
    // program knows. Nothing after printing `complaint` with a flag that is unknown or lacks its value.
    static std::optional<QHash<QString, QString>> parseFlags(const QStringList& arguments,
                                                             const QHash<QString, int>& arity, const char* complaint);

    // From now on SIGTERM and SIGINT are counted instead of ending the program.
    static void countTerminations();
    static int terminations();
    // While the event loop runs: `onTermination` within `pollMs` of the first signal counted, and the exit
    // on its own.
    void whileRunning(int pollMs, const std::function<void()>& onTermination) const;

private:
    QByteArray prefix_;
};
