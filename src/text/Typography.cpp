#include "text/Typography.h"

#include "core/Regex.h"
#include "core/SettingsStore.h"
#include "text/ProtectedSpans.h"
#include "text/RussianNumbers.h"

#include <functional>
#include <optional>

namespace
{

using Typography::Rule;

constexpr char16_t noBreakSpace = u'\u00A0';

bool isQuote(QChar c)
{
    return c == u'"' || c == u'«' || c == u'»' || c == u'„' || c == u'“' || c == u'”';
}

// A quotation mark after one of these (or at the start) may open a quotation.
bool opensAfter(QChar c)
{
    return c.isSpace() || isQuote(c) || QStringView(u"([{—–-/").contains(c);
}

// A quotation mark before one of these (or at the end) may close a quotation.
bool closesBefore(QChar c)
{
    return c.isSpace() || isQuote(c) || QStringView(u".,;:!?…)]}—–-/").contains(c);
}

enum class Side
{
    opening,
    closing,
    neither,
};

// «„ open and »” close wherever they are; " and “ open before a word and close after one. A mark between
// two letters, or between two spaces, is no quotation mark.
Side sideOf(QStringView paragraph, qsizetype position, bool insideQuotation)
{
    const QChar c = paragraph.at(position);
    if (c == u'«' || c == u'„')
        return Side::opening;
    if (c == u'»' || c == u'”')
        return Side::closing;
    const bool atStart = position == 0;
    const bool atEnd = position + 1 == paragraph.size();
    const bool canOpen =
        (atStart || opensAfter(paragraph.at(position - 1))) && !atEnd && !paragraph.at(position + 1).isSpace();
    const bool canClose =
        !atStart && !paragraph.at(position - 1).isSpace() && (atEnd || closesBefore(paragraph.at(position + 1)));
    if (canOpen && canClose)
        return insideQuotation ? Side::closing : Side::opening;
    return canOpen ? Side::opening : canClose ? Side::closing : Side::neither;
}

struct QuotePair
{
    qsizetype opening;
    qsizetype closing;
};

// Each closing mark closes the latest open quotation; marks left without a partner are not paired.
std::vector<QuotePair> quotePairs(QStringView paragraph)
{
    std::vector<QuotePair> pairs;
    std::vector<qsizetype> open;
    for (qsizetype position = 0; position < paragraph.size(); ++position) {
        if (!isQuote(paragraph.at(position)))
            continue;
        const Side side = sideOf(paragraph, position, !open.empty());
        if (side == Side::opening) {
            open.push_back(position);
        } else if (side == Side::closing && !open.empty()) {
            pairs.push_back({open.back(), position});
            open.pop_back();
        }
    }
    return pairs;
}

// «ёлочки» outside, „лапки“ for a quotation inside a quotation.
void setQuotes(QString& text, qsizetype offset, const std::vector<QuotePair>& pairs)
{
    for (const QuotePair& pair : pairs) {
        const bool nested = std::any_of(pairs.begin(), pairs.end(), [&](const QuotePair& other) {
            return other.opening < pair.opening && other.closing > pair.closing;
        });
        text[offset + pair.opening] = nested ? u'„' : u'«';
        text[offset + pair.closing] = nested ? u'“' : u'»';
    }
}

// Quotations do not run on past the end of a paragraph.
QString quotes(const QString& text)
{
    QString result = text;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1String("\n\n"), start);
        end = end < 0 ? text.size() : end;
        setQuotes(result, start, quotePairs(QStringView(text).mid(start, end - start)));
        start = end + 2;
    }
    return result;
}

bool isDigit(const QString& character)
{
    return !character.isEmpty() && character.front().isDigit();
}

// A hyphen or en dash alone between words becomes an em dash with a no-break space before it; one that
// starts a paragraph (dialogue) becomes "— ", except a Markdown list item's "- "; a hyphen between two
// numbers («1941-1945») becomes an en dash. Hyphens inside words, dates and phone numbers stay.
QString dashes(const QString& text, TextFormatter::OutputFormat format)
{
    static const Regex between(QStringLiteral("(\\S)[ \\x{00A0}]+(?:--|[-–—])[ \\x{00A0}]+(?=(\\S))"));
    static const Regex dialogue(QStringLiteral("^(?:--|[-–—])[ \\x{00A0}]+(?=\\S)"), Regex::Multiline);
    static const Regex markdownDialogue(QStringLiteral("^(?:--|[–—])[ \\x{00A0}]+(?=\\S)"), Regex::Multiline);
    static const Regex range(
        QStringLiteral("(?<![\\p{L}\\p{N}\\-–]|\\p{N}[.,:/])(\\p{N}+)-(\\p{N}+)(?![\\p{L}\\p{N}\\-–]|[.,:/]\\p{N})"));
    QString result = between.replaceAll(text, [](const Regex::Match& match) {
        // «5 - 3» is arithmetic, not a dash.
        if (isDigit(match.captured(1)) && isDigit(match.captured(2)))
            return match.captured(0);
        return match.captured(1) + QChar(noBreakSpace) + QStringLiteral("— ");
    });
    const Regex& paragraphStart = format == TextFormatter::OutputFormat::markdown ? markdownDialogue : dialogue;
    result = paragraphStart.replaceAll(result, QStringLiteral("— "));
    return range.replaceAll(result, QStringLiteral("$1–$2"));
}

// After one- and two-letter prepositions and conjunctions, between a number and its unit, in initials and
// in «т. е.», «т. д.».
QString noBreakSpaces(const QString& text)
{
    static const Regex shortWord(
        QStringLiteral("(?<![\\p{L}\\p{N}\\-\\x{FFFC}])(в|к|с|у|о|и|а|но|на|за|по|от|до|из|не) (?=\\S)"),
        Regex::CaseInsensitive);
    static const Regex initials(QStringLiteral("(?<!\\p{L})(\\p{Lu}\\.) ?(\\p{Lu}\\.) +(?=\\p{Lu}\\p{Ll})"));
    static const Regex initialsAfter(QStringLiteral("(\\p{Lu}\\p{Ll}+) +(\\p{Lu}\\.) ?(\\p{Lu}\\.)(?!\\p{L})"));
    static const Regex abbreviation(QStringLiteral("(?<!\\p{L})([тТ])\\. ?([едпк])\\.(?!\\p{L})"));
    static const Regex numberSign(QStringLiteral("([№§]) (?=\\p{N})"));
    static const Regex numberAndUnit(QStringLiteral("(\\p{N}) (?=([\\p{L}%₽$€°]+))"));
    const QString space(noBreakSpace);
    QString result = shortWord.replaceAll(text, QStringLiteral("$1") + space);
    result = initials.replaceAll(result, QStringLiteral("$1%1$2%1").arg(space));
    result = initialsAfter.replaceAll(result, QStringLiteral("$1%1$2%1$3").arg(space));
    result = abbreviation.replaceAll(result, QStringLiteral("$1.%1$2.").arg(space));
    result = numberSign.replaceAll(result, QStringLiteral("$1") + space);
    return numberAndUnit.replaceAll(result, [&space](const Regex::Match& match) {
        return RussianNumbers::isUnit(TextFormatter::foldInPlace(match.captured(2))) ? match.captured(1) + space
                                                                                     : match.captured(0);
    });
}

} // namespace

namespace Typography
{

Result apply(const QString& text, const Options& options)
{
    Result result{text, {}};
    const ProtectedSpans::Masked masked = ProtectedSpans::mask(text);
    QString typeset = masked.text;
    const auto pass = [&](bool enabled, Rule rule, const std::function<QString(const QString&)>& change) {
        if (!enabled)
            return;
        QString changed = change(typeset);
        if (changed == typeset)
            return;
        typeset = std::move(changed);
        result.fired.push_back(rule);
    };
    const QChar groupSeparator = options.noBreakSpaces ? QChar(noBreakSpace) : QChar(u' ');
    pass(options.quotes, Rule::quotes, quotes);
    pass(options.dashes, Rule::dashes, [&](const QString& part) { return dashes(part, options.format); });
    pass(options.numbers, Rule::numbers,
         [&](const QString& part) { return RussianNumbers::digitize(part, groupSeparator); });
    pass(options.noBreakSpaces, Rule::noBreakSpaces, noBreakSpaces);
    // A rule that lost a placeholder would lose what the user said with it: then nothing is changed.
    const std::optional<QString> restored = ProtectedSpans::restore(typeset, masked.pieces);
    if (!restored)
        return {text, {}};
    result.text = *restored;
    return result;
}

Options optionsFrom(const SettingsStore& settings)
{
    Options options;
    options.quotes = settings.boolForKey(SettingsKey::typographyQuotes);
    options.dashes = settings.boolForKey(SettingsKey::typographyDashes);
    options.numbers = settings.boolForKey(SettingsKey::typographyNumbers);
    options.noBreakSpaces = settings.boolForKey(SettingsKey::typographyNoBreakSpaces);
    options.format = settings.boolForKey(SettingsKey::formattingEnabled)
                         ? TextFormatter::outputFormatNamed(settings.outputFormat())
                         : TextFormatter::OutputFormat::plain;
    return options;
}

QString title(Rule rule)
{
    switch (rule) {
    case Rule::quotes:
        return QStringLiteral("кавычки");
    case Rule::dashes:
        return QStringLiteral("тире");
    case Rule::numbers:
        return QStringLiteral("числа");
    case Rule::noBreakSpaces:
        return QStringLiteral("неразрывные пробелы");
    }
    return {};
}

} // namespace Typography
