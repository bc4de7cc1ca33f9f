#include "text/Typography.h"

#include "core/Regex.h"
#include "core/SettingsStore.h"
#include "text/Abbreviations.h"
#include "text/DigitRanges.h"
#include "text/HolidayNames.h"
#include "text/HyphenatedWords.h"
#include "text/NoBreakSpaces.h"
#include "text/NumberAgreement.h"
#include "text/NumberTypography.h"
#include "text/ProtectedSpans.h"
#include "text/PunctuationSpacing.h"
#include "text/RussianNumbers.h"
#include "text/SentenceStarts.h"
#include "text/SpokenNumberSigns.h"

#include <algorithm>
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
Side sideOf(QStringView text, qsizetype position, bool insideQuotation)
{
    const QChar c = text.at(position);
    if (c == u'«' || c == u'„')
        return Side::opening;
    if (c == u'»' || c == u'”')
        return Side::closing;
    const bool atStart = position == 0;
    const bool atEnd = position + 1 == text.size();
    const bool canOpen = (atStart || opensAfter(text.at(position - 1))) && !atEnd && !text.at(position + 1).isSpace();
    const bool canClose =
        !atStart && !text.at(position - 1).isSpace() && (atEnd || closesBefore(text.at(position + 1)));
    if (canOpen && canClose)
        return insideQuotation ? Side::closing : Side::opening;
    return canOpen ? Side::opening : canClose ? Side::closing : Side::neither;
}

struct QuotePair
{
    qsizetype opening;
    qsizetype closing;
    // Inside another quotation.
    bool nested = false;
};

bool isParagraphBreak(const QString& text, qsizetype position)
{
    return text.at(position) == u'\n' && position + 1 < text.size() && text.at(position + 1) == u'\n';
}

// Each closing mark closes the latest open quotation; marks left without a partner are not paired, and
// quotations do not run on past the end of a paragraph. In the order of their opening marks.
std::vector<QuotePair> quotations(const QString& text)
{
    std::vector<QuotePair> pairs;
    std::vector<qsizetype> open;
    for (qsizetype position = 0; position < text.size(); ++position) {
        if (isParagraphBreak(text, position))
            open.clear();
        if (!isQuote(text.at(position)))
            continue;
        const Side side = sideOf(text, position, !open.empty());
        if (side == Side::opening) {
            open.push_back(position);
        } else if (side == Side::closing && !open.empty()) {
            pairs.push_back({open.back(), position});
            open.pop_back();
        }
    }
    std::sort(pairs.begin(), pairs.end(), [](const QuotePair& a, const QuotePair& b) { return a.opening < b.opening; });
    for (QuotePair& pair : pairs) {
        pair.nested = std::any_of(pairs.begin(), pairs.end(), [&](const QuotePair& other) {
            return other.opening < pair.opening && other.closing > pair.closing;
        });
    }
    return pairs;
}

// «ёлочки» outside, „лапки“ for a quotation inside a quotation.
QString quotes(const QString& text)
{
    QString result = text;
    for (const QuotePair& pair : quotations(text)) {
        result[pair.opening] = pair.nested ? u'„' : u'«';
        result[pair.closing] = pair.nested ? u'“' : u'»';
    }
    return result;
}

// `change` on everything outside quotations: numbers inside one stay as they were said, a title («Двенадцать
// стульев») or someone's words.
QString outsideQuotations(const QString& text, const std::function<QString(const QString&)>& change)
{
    QString result;
    qsizetype copied = 0;
    for (const QuotePair& pair : quotations(text)) {
        if (pair.nested)
            continue;
        result += change(text.mid(copied, pair.opening - copied));
        result += QStringView(text).mid(pair.opening, pair.closing + 1 - pair.opening);
        copied = pair.closing + 1;
    }
    return result + change(text.mid(copied));
}

bool isDash(QChar c)
{
    return c == u'-' || c == u'–' || c == u'—';
}

bool isNumberCharacter(QChar c)
{
    return c.isDigit() || QStringView(u".,:").contains(c);
}

// Two numbers around the dash at [start, end) that neither do arithmetic («5 - 3 = 2») nor are part of a
// longer chain of numbers («8 800 555 - 35 - 35»): what stands beyond them is no sign, digit or dash.
bool isRangeOfNumbers(const QString& text, qsizetype start, qsizetype end)
{
    if (start == 0 || end == text.size() || !text.at(start - 1).isDigit() || !text.at(end).isDigit())
        return false;
    const auto joinsMore = [](QChar c) { return c.isDigit() || isDash(c) || QStringView(u"=+×*/÷<>").contains(c); };
    qsizetype before = start;
    while (before > 0 && isNumberCharacter(text.at(before - 1)))
        --before;
    while (before > 0 && text.at(before - 1) == u' ')
        --before;
    qsizetype after = end;
    while (after < text.size() && isNumberCharacter(text.at(after)))
        ++after;
    while (after < text.size() && text.at(after) == u' ')
        ++after;
    return !(before > 0 && joinsMore(text.at(before - 1))) && !(after < text.size() && joinsMore(text.at(after)));
}

// A spaced dash at [start, end) stands between two words, not at a line's edge, next to another dash or
// between two numbers.
bool joinsWords(const QString& text, qsizetype start, qsizetype end)
{
    if (start == 0 || end == text.size())
        return false;
    const QChar before = text.at(start - 1);
    const QChar after = text.at(end);
    return !before.isSpace() && !after.isSpace() && !isDash(before) && !isDash(after) &&
           !(before.isDigit() && after.isDigit());
}

// A hyphen or en dash alone between words becomes an em dash with a no-break space before it; one that
// starts a line (dialogue) becomes "— ", except a Markdown list item's "- "; a dash or hyphen between two
// numbers («1941-1945», «10 - 15») becomes an en dash without spaces, unless the numbers are arithmetic.
// Hyphens inside words, dates and phone numbers stay.
QString dashes(const QString& text, TextFormatter::OutputFormat format)
{
    static const Regex spacedDash(QStringLiteral("[ \\x{00A0}]+(?:--|[-–—])[ \\x{00A0}]+"));
    static const Regex dialogue(QStringLiteral("^(?:--|[-–—])[ \\x{00A0}]+(?=\\S)"), Regex::Multiline);
    static const Regex markdownDialogue(QStringLiteral("^(?:--|[–—])[ \\x{00A0}]+(?=\\S)"), Regex::Multiline);
    QString result = spacedDash.replaceAll(text, [&text](const Regex::Match& match) {
        if (isRangeOfNumbers(text, match.start(), match.end()))
            return QStringLiteral("–");
        return joinsWords(text, match.start(), match.end()) ? QChar(noBreakSpace) + QStringLiteral("— ")
                                                            : match.captured();
    });
    const Regex& paragraphStart = format == TextFormatter::OutputFormat::markdown ? markdownDialogue : dialogue;
    result = paragraphStart.replaceAll(result, QStringLiteral("— "));
    return DigitRanges::withEnDashes(result);
}

// «-15», «минус 15» → «−15»: a hyphen or a lower-case «минус» right before the digits of a number, after a
// space, a bracket or a quotation mark; not «20 минус 15», which is arithmetic.
QString minusSigns(const QString& text)
{
    static const Regex minus(QStringLiteral("(?<![\\p{L}\\p{N}\\p{Pd}.,:;/])(?:-|минус[ \\x{00A0}]+)(?=\\p{Nd})"));
    return minus.replaceAll(text, [&text](const Regex::Match& match) {
        qsizetype before = match.start();
        while (before > 0 && text.at(before - 1).isSpace())
            --before;
        if (text.at(match.start()) != u'-' && before > 0 && text.at(before - 1).isDigit())
            return match.captured();
        return QStringLiteral("−");
    });
}

// «№15» → «№ 15».
QString numberSigns(const QString& text)
{
    static const Regex sign(QStringLiteral("№(?=\\p{Nd})"));
    return sign.replaceAll(text, QStringLiteral("№ "));
}

// Three full stops alone → «…»; «?..» and «!..» stay.
QString ellipses(const QString& text)
{
    static const Regex dots(QStringLiteral("(?<!\\.)\\.{3}(?!\\.)"));
    return dots.replaceAll(text, QStringLiteral("…"));
}

// Spoken numbers in digits where an editor writes them so, and the numbers of one construction alike.
QString numbers(const QString& text, QChar groupSeparator)
{
    const QString signs = SpokenNumberSigns::written(NumberAgreement::halves(text), groupSeparator);
    return HolidayNames::capitalized(
        NumberAgreement::agreed(RussianNumbers::digitize(signs, groupSeparator), groupSeparator));
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
    // Numbers before dashes: a dash between two spoken numbers makes a range of them.
    pass(options.corrections, Rule::spacing, PunctuationSpacing::tidied);
    // Before numbers: a number that opens a sentence stays in words.
    pass(options.corrections, Rule::capitals, SentenceStarts::capitalized);
    pass(options.quotes, Rule::quotes, quotes);
    pass(options.romanCenturies, Rule::romanCenturies,
         [](const QString& part) { return outsideQuotations(part, RussianNumbers::romanCenturies); });
    pass(options.numbers, Rule::numbers, [&](const QString& part) {
        return outsideQuotations(part, [&](const QString& piece) { return numbers(piece, groupSeparator); });
    });
    pass(options.numbers, Rule::digits,
         [&](const QString& part) { return NumberTypography::apply(part, groupSeparator); });
    pass(options.dashes, Rule::dashes, [&](const QString& part) { return dashes(part, options.format); });
    pass(options.corrections, Rule::hyphens, HyphenatedWords::joined);
    pass(options.corrections, Rule::abbreviations, Abbreviations::spaced);
    pass(options.minusSign, Rule::minusSign, minusSigns);
    pass(options.numberSign, Rule::numberSign, numberSigns);
    pass(options.ellipsis, Rule::ellipsis, ellipses);
    pass(options.noBreakSpaces, Rule::noBreakSpaces, NoBreakSpaces::placed);
    std::sort(result.fired.begin(), result.fired.end());
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
    options.romanCenturies = settings.boolForKey(SettingsKey::typographyRomanCenturies);
    options.minusSign = settings.boolForKey(SettingsKey::typographyMinusSign);
    options.numberSign = settings.boolForKey(SettingsKey::typographyNumberSign);
    options.ellipsis = settings.boolForKey(SettingsKey::typographyEllipsis);
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
    case Rule::romanCenturies:
        return QStringLiteral("века римскими цифрами");
    case Rule::minusSign:
        return QStringLiteral("знак минуса");
    case Rule::numberSign:
        return QStringLiteral("пробел после №");
    case Rule::ellipsis:
        return QStringLiteral("многоточие");
    case Rule::digits:
        return QStringLiteral("запись цифр");
    case Rule::spacing:
        return QStringLiteral("пробелы у знаков препинания");
    case Rule::abbreviations:
        return QStringLiteral("сокращения и инициалы");
    case Rule::hyphens:
        return QStringLiteral("дефисы в словах");
    case Rule::capitals:
        return QStringLiteral("заглавная буква предложения");
    }
    return {};
}

} // namespace Typography
