#include "core/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <limits>

namespace
{

bool fitsIcu(const QString& text)
{
    return text.size() <= std::numeric_limits<int32_t>::max();
}

// A read-only ICU view of the QString's UTF-16 buffer; the QString must outlive it.
icu::UnicodeString icuView(const QString& text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

uint32_t icuFlags(unsigned options)
{
    uint32_t flags = 0;
    if (options & Regex::CaseInsensitive)
        flags |= UREGEX_CASE_INSENSITIVE;
    if (options & Regex::Multiline)
        flags |= UREGEX_MULTILINE;
    if (options & Regex::DotMatchesAll)
        flags |= UREGEX_DOTALL;
    return flags;
}

Regex::Match currentMatch(const QString& subject, icu::RegexMatcher& matcher)
{
    UErrorCode status = U_ZERO_ERROR;
    const int32_t groupCount = matcher.groupCount();
    std::vector<std::pair<qsizetype, qsizetype>> groups;
    groups.reserve(static_cast<size_t>(groupCount) + 1);
    for (int32_t group = 0; group <= groupCount; ++group)
        groups.emplace_back(matcher.start(group, status), matcher.end(group, status));
    return Regex::Match(subject, std::move(groups));
}

} // namespace

Regex::Match::Match(QString subject, std::vector<std::pair<qsizetype, qsizetype>> groups)
    : subject_(std::move(subject)), groups_(std::move(groups))
{}

qsizetype Regex::Match::start(int group) const
{
    return group >= 0 && group < static_cast<int>(groups_.size()) ? groups_[group].first : -1;
}

qsizetype Regex::Match::end(int group) const
{
    return group >= 0 && group < static_cast<int>(groups_.size()) ? groups_[group].second : -1;
}

qsizetype Regex::Match::length(int group) const
{
    return start(group) < 0 ? 0 : end(group) - start(group);
}

QString Regex::Match::captured(int group) const
{
    return start(group) < 0 ? QString() : subject_.mid(start(group), length(group));
}

Regex::Regex(const QString& pattern, unsigned options)
{
    if (!fitsIcu(pattern)) {
        error_ = QStringLiteral("pattern too long");
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icuView(pattern), icuFlags(options), parseError, status));
    if (U_FAILURE(status) || !compiled) {
        error_ = QStringLiteral("%1 at offset %2").arg(QLatin1String(u_errorName(status))).arg(parseError.offset);
        return;
    }
    pattern_ = std::move(compiled);
}

std::optional<Regex::Match> Regex::match(const QString& text, qsizetype from) const
{
    if (!pattern_ || !fitsIcu(text) || from < 0 || from > text.size())
        return std::nullopt;
    const icu::UnicodeString input = icuView(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find(static_cast<int64_t>(from), status) || U_FAILURE(status))
        return std::nullopt;
    return currentMatch(text, *matcher);
}

std::vector<Regex::Match> Regex::matchAll(const QString& text) const
{
    std::vector<Match> matches;
    if (!pattern_ || !fitsIcu(text))
        return matches;
    const icu::UnicodeString input = icuView(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    while (U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status))
        matches.push_back(currentMatch(text, *matcher));
    return matches;
}

bool Regex::contains(const QString& text) const
{
    return match(text).has_value();
}

bool Regex::matchesEntirely(const QString& text) const
{
    if (!pattern_ || !fitsIcu(text))
        return false;
    const icu::UnicodeString input = icuView(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    return U_SUCCESS(status) && matcher->matches(status) && U_SUCCESS(status);
}

QString Regex::replaceAll(const QString& text, const QString& replacement) const
{
    if (!pattern_ || !fitsIcu(text) || !fitsIcu(replacement))
        return text;
    const icu::UnicodeString input = icuView(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    if (U_FAILURE(status))
        return text;
    const icu::UnicodeString result = matcher->replaceAll(icuView(replacement), status);
    return U_FAILURE(status) ? text : fromIcu(result);
}

QString Regex::replaceAll(const QString& text, const std::function<QString(const Match&)>& replacement) const
{
    const std::vector<Match> matches = matchAll(text);
    if (matches.empty())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype copiedUpTo = 0;
    for (const Match& match : matches) {
        result += QStringView(text).mid(copiedUpTo, match.start() - copiedUpTo);
        result += replacement(match);
        copiedUpTo = match.end();
    }
    result += QStringView(text).mid(copiedUpTo);
    return result;
}

QString Regex::escape(const QString& literal)
{
    static const QString metacharacters = QStringLiteral("\\^$.|?*+()[]{}-&~#/ \t\n\r");
    QString escaped;
    escaped.reserve(literal.size() * 2);
    for (const QChar c : literal) {
        if (metacharacters.contains(c))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}
