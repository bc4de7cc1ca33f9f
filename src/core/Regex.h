#pragma once

#include <QString>

#include <unicode/uversion.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

// A compiled ICU regular expression over QString. Positions and lengths are UTF-16 code units, as in
// QString itself. A pattern that does not compile gives an invalid object: it matches nothing and
// replaces nothing. Copies share the compiled pattern; any thread may use it.
class Regex
{
public:
    enum Option : unsigned
    {
        NoOptions = 0,
        CaseInsensitive = 1u << 0,
        // ^ and $ also match at line breaks.
        Multiline = 1u << 1,
        // . also matches line breaks.
        DotMatchesAll = 1u << 2,
    };

    class Match
    {
    public:
        Match(QString subject, std::vector<std::pair<qsizetype, qsizetype>> groups);

        // Start and end of a capture group (0 is the whole match); -1 when the group took no part.
        qsizetype start(int group = 0) const;
        qsizetype end(int group = 0) const;
        qsizetype length(int group = 0) const;
        // The group's text; a null string when the group took no part.
        QString captured(int group = 0) const;

    private:
        QString subject_;
        std::vector<std::pair<qsizetype, qsizetype>> groups_;
    };

    Regex() = default;
    explicit Regex(const QString& pattern, unsigned options = NoOptions);

    bool isValid() const { return pattern_ != nullptr; }
    // ICU's reason when the pattern did not compile.
    const QString& errorMessage() const { return error_; }

    std::optional<Match> match(const QString& text, qsizetype from = 0) const;
    std::vector<Match> matchAll(const QString& text) const;
    bool contains(const QString& text) const;
    bool matchesEntirely(const QString& text) const;

    // Replaces every match; the replacement may refer to groups as $1 or ${name}, and \ escapes the
    // next character. A replacement that refers to a missing group leaves the text unchanged.
    QString replaceAll(const QString& text, const QString& replacement) const;
    // Replaces every match with what the function returns for it.
    QString replaceAll(const QString& text, const std::function<QString(const Match&)>& replacement) const;

    // A pattern that matches the text literally.
    static QString escape(const QString& literal);

private:
    QString error_;
    std::shared_ptr<const icu::RegexPattern> pattern_;
};
