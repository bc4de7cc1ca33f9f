#pragma once

#include <QString>

// An error value. Our own errors carry the domain "Tolvan", one of our codes and the Russian message the
// user sees; errors of the system (transport, file system, process launch) pass through with their own
// domain, code and description.
class Error
{
public:
    static constexpr const char* tolvanDomain = "Tolvan";

    static Error tolvan(int code, const QString& message);
    static Error system(const QString& domain, int code, const QString& description);

    const QString& domain() const { return domain_; }
    int code() const { return code_; }
    // The text shown to the user.
    const QString& description() const { return description_; }
    bool isTolvan() const { return domain_ == QLatin1String(tolvanDomain); }

    bool operator==(const Error&) const = default;

private:
    Error(QString domain, int code, QString description);

    QString domain_;
    int code_;
    QString description_;
};
