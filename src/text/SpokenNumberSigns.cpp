#include "text/SpokenNumberSigns.h"

#include "core/Regex.h"
#include "text/NumberReading.h"
#include "text/NumberVocabulary.h"
#include "text/TextKeys.h"

#include <optional>
#include <vector>

namespace
{

using NumberReading::Number;
using NumberReading::Reading;

struct Change
{
    // Words [first, next) become `text`.
    size_t first;
    size_t next;
    QString text;
};

bool isCardinal(const Number& number)
{
    return number.trusted && number.kind == NumberWords::Kind::cardinal && !number.bareMultiplier;
}

// «вагон номер три» → «вагон № 3».
std::optional<Change> numberSign(const Reading& reading, const Number& number)
{
    if (number.first < 2 || !isCardinal(number) || reading.numberAfter(number) ||
        reading.keyBefore(number.first) != u"номер" ||
        !NumberVocabulary::isNumberedNoun(reading.keyBefore(number.first - 1)))
        return std::nullopt;
    return Change{number.first - 1, number.next, QStringLiteral("№ %1").arg(number.value)};
}

// «со счётом два один» → «со счётом 2:1».
std::optional<Change> score(const Reading& reading, const Number& number)
{
    const QStringView before = reading.keyBefore(number.first);
    const std::optional<Number> second = reading.numberAfter(number);
    if ((before != u"счет" && before != u"счетом") || !second || !isCardinal(number) || !isCardinal(*second) ||
        number.value > 99 || second->value > 99 || reading.numberAfter(*second))
        return std::nullopt;
    return Change{number.first, second->next, QStringLiteral("%1:%2").arg(number.value).arg(second->value)};
}

bool isDigitWord(const Number& number)
{
    return isCardinal(number) && number.next == number.first + 1 && number.value <= 9;
}

// «123-45-67», with the code before it: «916 123-45-67», «8 916 123-45-67».
QString phoneNumber(const QString& digits, QChar separator)
{
    const qsizetype code = digits.size() - 7;
    QString local = digits.right(7);
    local.insert(5, u'-');
    local.insert(3, u'-');
    if (code == 0)
        return local;
    QString prefix = digits.left(code);
    if (code == 4)
        prefix.insert(1, separator);
    return prefix + separator + local;
}

// Digits said one by one. A run of another length stays as said: the words after its first are skipped too.
Change phone(const Reading& reading, const Number& number, QChar separator)
{
    QString digits = QString::number(number.value);
    Number last = number;
    std::optional<Number> following;
    while ((following = reading.numberAfter(last)) && isDigitWord(*following)) {
        digits += QString::number(following->value);
        last = *following;
    }
    const bool phoneLength = digits.size() == 7 || digits.size() == 10 || digits.size() == 11;
    if (!phoneLength || following)
        return {number.first, last.next, QString()};
    return {number.first, last.next, phoneNumber(digits, separator)};
}

std::vector<Change> changesIn(const Reading& reading, QChar separator)
{
    std::vector<Change> changes;
    for (size_t index = 0; index < reading.words().size();) {
        const std::optional<Number> number = reading.numberAt(index);
        if (!number) {
            ++index;
            continue;
        }
        std::optional<Change> change = numberSign(reading, *number);
        if (!change)
            change = score(reading, *number);
        if (!change && isDigitWord(*number))
            change = phone(reading, *number, separator);
        if (change && !change->text.isNull())
            changes.push_back(*change);
        index = change ? change->next : number->next;
    }
    return changes;
}

} // namespace

namespace SpokenNumberSigns
{

QString written(const QString& text, QChar groupSeparator)
{
    static const Regex latinN(QStringLiteral("(?<=\\p{Cyrillic}[ \\x{00A0}])N ?(?=\\d)"));
    const QString withSign = latinN.replaceAll(text, QStringLiteral("№ "));
    if (!NumberWords::shared().isValid())
        return withSign;
    const QString folded = TextKeys::foldInPlace(withSign);
    const Reading reading(withSign, folded);
    QString result;
    qsizetype copied = 0;
    for (const Change& change : changesIn(reading, groupSeparator)) {
        const qsizetype start = reading.words()[change.first].start;
        result += QStringView(withSign).mid(copied, start - copied);
        result += change.text;
        copied = reading.words()[change.next - 1].end;
    }
    result += QStringView(withSign).mid(copied);
    return result;
}

} // namespace SpokenNumberSigns
