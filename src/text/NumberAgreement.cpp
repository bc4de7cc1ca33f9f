#include "text/NumberAgreement.h"

#include "core/Regex.h"
#include "text/NumberReading.h"
#include "text/NumberVocabulary.h"
#include "text/TextFormatter.h"

#include <functional>
#include <optional>

namespace
{

using NumberReading::Number;
using NumberReading::Reading;

struct Change
{
    // Words [first, next) become `text`; nothing changes when it is null.
    size_t next;
    QString text;
};

bool isCardinal(const Number& number)
{
    return number.trusted && number.kind == NumberWords::Kind::cardinal && !number.bareMultiplier;
}

QString grouped(qint64 value, QChar separator)
{
    QString digits = QString::number(value);
    if (digits.size() < 5)
        return digits;
    for (qsizetype position = digits.size() - 3; position > 0; position -= 3)
        digits.insert(position, separator);
    return digits;
}

// Every number of the text that `change` gives a text for, replaced by it.
QString rewritten(const QString& text,
                  const std::function<std::optional<Change>(const Reading&, const Number&)>& change)
{
    if (!NumberWords::shared().isValid())
        return text;
    const QString folded = TextFormatter::foldInPlace(text);
    const Reading reading(text, folded);
    QString result;
    qsizetype copied = 0;
    for (size_t index = 0; index < reading.words().size();) {
        const std::optional<Number> number = reading.numberAt(index);
        if (!number) {
            ++index;
            continue;
        }
        const std::optional<Change> changed = change(reading, *number);
        if (!changed) {
            index = number->next;
            continue;
        }
        result += QStringView(text).mid(copied, reading.words()[number->first].start - copied);
        result += changed->text;
        copied = reading.words()[changed->next - 1].end;
        index = changed->next;
    }
    result += QStringView(text).mid(copied);
    return result;
}

bool startsWithDigit(const QString& text, qsizetype position)
{
    while (position < text.size() && (text.at(position) == u' ' || text.at(position) == u'\u00A0'))
        ++position;
    return position < text.size() && text.at(position).isDigit();
}

// «от пяти до 25», «с 5 до десяти».
bool isRangeWithDigits(const Reading& reading, const Number& number)
{
    static const Regex fromDigits(
        QStringLiteral("(?<!\\p{L})(?:от|с|со)[ \\x{00A0}]+\\d[\\d,\\x{00A0} ]*[ \\x{00A0}]$"), Regex::CaseInsensitive);
    const QStringView before = reading.keyBefore(number.first);
    if ((before == u"от" || before == u"с" || before == u"со") && reading.keyAt(number.next) == u"до")
        return startsWithDigit(reading.text(), reading.words()[number.next].end);
    if (before != u"до")
        return false;
    return fromDigits.contains(reading.text().left(reading.words()[number.first - 1].start));
}

// The sentence around `position`, up to «.», «!», «?» or a line break.
QString sentenceAround(const QString& text, qsizetype position)
{
    static const QString ends = QStringLiteral(".!?\n");
    qsizetype start = position;
    while (start > 0 && !ends.contains(text.at(start - 1)))
        --start;
    qsizetype end = position;
    while (end < text.size() && !ends.contains(text.at(end)))
        ++end;
    return text.mid(start, end - start);
}

// «дом пять, квартира 12»: another noun with a number in digits in the same sentence.
bool isListedWithDigits(const Reading& reading, const Number& number)
{
    static const Regex numbered(QStringLiteral("(?<!\\p{L})(\\p{L}+)[ \\x{00A0}]+\\d"));
    if (!NumberVocabulary::isNumberedNoun(reading.keyBefore(number.first)) || reading.numberAfter(number))
        return false;
    const QString sentence = sentenceAround(reading.text(), reading.words()[number.first].start);
    for (const Regex::Match& match : numbered.matchAll(sentence)) {
        if (NumberVocabulary::isNumberedNoun(TextFormatter::foldInPlace(match.captured(1))))
            return true;
    }
    return false;
}

} // namespace

namespace NumberAgreement
{

QString halves(const QString& text)
{
    return rewritten(text, [](const Reading& reading, const Number& number) -> std::optional<Change> {
        const QStringView unit = reading.keyAt(number.next + 2);
        if (!isCardinal(number) || reading.text().at(reading.words()[number.first].start).isUpper() ||
            reading.keyAt(number.next) != u"с" || reading.keyAt(number.next + 1) != u"половиной" ||
            !(NumberVocabulary::isPercent(unit) || NumberVocabulary::isUnit(unit)))
            return std::nullopt;
        return Change{number.next + 2, QStringLiteral("%1,5").arg(number.value)};
    });
}

QString agreed(const QString& text, QChar groupSeparator)
{
    return rewritten(text, [groupSeparator](const Reading& reading, const Number& number) -> std::optional<Change> {
        if (!isCardinal(number) || !(isRangeWithDigits(reading, number) || isListedWithDigits(reading, number)))
            return std::nullopt;
        return Change{number.next, grouped(number.value, groupSeparator)};
    });
}

} // namespace NumberAgreement
