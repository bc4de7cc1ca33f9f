#include "text/RussianNumbers.h"

#include "text/NumberWords.h"
#include "text/TextFormatter.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace
{

using Kind = NumberWords::Kind;

constexpr char16_t noBreakSpace = u'\u00A0';

struct WordHash
{
    using is_transparent = void;
    size_t operator()(std::u16string_view word) const { return std::hash<std::u16string_view>{}(word); }
};
using WordSet = std::unordered_set<std::u16string, WordHash, std::equal_to<>>;

bool contains(const WordSet& words, QStringView word)
{
    return words.find(std::u16string_view(reinterpret_cast<const char16_t*>(word.utf16()),
                                          static_cast<size_t>(word.size()))) != words.end();
}

WordSet formsOf(std::initializer_list<std::u16string_view> stems, std::initializer_list<std::u16string_view> endings)
{
    WordSet forms;
    for (const std::u16string_view stem : stems) {
        for (const std::u16string_view ending : endings)
            forms.insert(std::u16string(stem).append(ending));
    }
    return forms;
}

const std::initializer_list<std::u16string_view> masculineEndings{u"",  u"а",  u"у",  u"ом",  u"е",
                                                                  u"ы", u"ов", u"ам", u"ами", u"ах"};

// Units and currencies: a number said with one is written in digits, whatever its size.
const WordSet& unitWords()
{
    static const WordSet words = [] {
        WordSet units = formsOf({u"доллар", u"цент", u"метр", u"километр", u"сантиметр", u"миллиметр", u"грамм",
                                 u"килограмм", u"литр", u"миллилитр", u"градус", u"гектар", u"байт", u"килобайт",
                                 u"мегабайт", u"гигабайт", u"терабайт"},
                                masculineEndings);
        units.merge(formsOf({u"рубл", u"юан"}, {u"ь", u"я", u"ю", u"ем", u"е", u"и", u"ей", u"ям", u"ями", u"ях"}));
        units.merge(formsOf({u"копе"}, {u"йка", u"йки", u"йке", u"йку", u"йкой", u"ек", u"йкам", u"йками", u"йках"}));
        units.merge(formsOf({u"тонн"}, {u"", u"а", u"ы", u"е", u"у", u"ой", u"ам", u"ами", u"ах"}));
        units.merge(formsOf({u"евро", u"км", u"м", u"см", u"мм", u"кг", u"г", u"т", u"л", u"мл", u"руб", u"коп", u"тыс",
                             u"млн", u"млрд", u"₽", u"$", u"€", u"°"},
                            {u""}));
        return units;
    }();
    return words;
}

// Written as the sign: «пятнадцать процентов» → «15 %».
const WordSet& percentWords()
{
    static const WordSet words = [] {
        WordSet percent = formsOf({u"процент"}, masculineEndings);
        percent.insert(u"%");
        return percent;
    }();
    return words;
}

const WordSet& months()
{
    static const WordSet words{u"января", u"февраля", u"марта",    u"апреля",  u"мая",    u"июня",
                               u"июля",   u"августа", u"сентября", u"октября", u"ноября", u"декабря"};
    return words;
}

const WordSet& yearWords()
{
    static const WordSet words = [] {
        WordSet years = formsOf({u"год"}, {u"", u"а", u"у", u"ом", u"е", u"ы", u"ов", u"ам", u"ами", u"ах"});
        years.insert({u"г", u"гг"});
        return years;
    }();
    return words;
}

// «в семь утра», «к девяти часам»: the hour of a clock time.
const WordSet& hourWords()
{
    static const WordSet words{u"утра", u"дня", u"вечера", u"ночи", u"час", u"часа", u"часов", u"часам"};
    return words;
}

const WordSet& timePrepositions()
{
    static const WordSet words{u"в", u"во", u"к", u"ко", u"до", u"с", u"со", u"после", u"около"};
    return words;
}

// Words that go on with the number before them in a way not read here: collective numbers («двадцать
// пятеро»), fractions («две целых»), «полтора».
const WordSet& continuations()
{
    static const WordSet words = [] {
        WordSet forms = formsOf({u"дво", u"тро"}, {u"е", u"их", u"им", u"ими"});
        forms.merge(formsOf({u"четвер", u"пятер", u"шестер", u"семер", u"восьмер", u"девятер", u"десятер"},
                            {u"о", u"ых", u"ым", u"ыми"}));
        forms.merge(formsOf({u"цел"}, {u"ая", u"ой", u"ую", u"ых", u"ым", u"ыми"}));
        forms.merge(formsOf({u"полтор", u"полутор"}, {u"а", u"ы"}));
        return forms;
    }();
    return words;
}

// Number words that are also common words of another meaning («сорока» is a magpie).
const WordSet& homographs()
{
    static const WordSet words{u"сорока"};
    return words;
}

struct Word
{
    qsizetype start;
    qsizetype end;
    // Lower case, "ё" as "е".
    QStringView key;
};

bool isWordCharacter(QChar c)
{
    return c.isLetter() || c.isMark();
}

// Letters joined by inner hyphens («во-первых», «кто-то») make one word.
std::vector<Word> wordsOf(const QString& folded)
{
    std::vector<Word> words;
    const qsizetype size = folded.size();
    qsizetype position = 0;
    while (position < size) {
        if (!isWordCharacter(folded.at(position))) {
            ++position;
            continue;
        }
        const qsizetype start = position;
        while (position < size &&
               (isWordCharacter(folded.at(position)) ||
                (folded.at(position) == u'-' && position + 1 < size && folded.at(position + 1).isLetter())))
            ++position;
        words.push_back({start, position, QStringView(folded).mid(start, position - start)});
    }
    return words;
}

struct Number
{
    size_t first = 0;
    // The word after the number.
    size_t next = 0;
    qint64 value = 0;
    Kind kind = Kind::cardinal;
    // ICU spells the value back exactly as it was said.
    bool trusted = false;
    // Nothing but «тысяча», «тысячи», «миллион»: more often "thousands" than a number.
    bool bareMultiplier = false;
    // «двадцать пять тысяч»: the value of the one multiplier the number ends with; 0 otherwise.
    qint64 endingMultiplier = 0;
};

// The words of the text and the numbers they make.
struct Reading
{
    const QString& text;
    std::vector<Word> words;

    // Nothing but spaces between word `index` and the next one.
    bool joined(size_t index) const
    {
        if (index + 1 >= words.size())
            return false;
        for (qsizetype position = words[index].end; position < words[index + 1].start; ++position) {
            if (text.at(position) != u' ' && text.at(position) != noBreakSpace)
                return false;
        }
        return true;
    }
    // The word right before word `index`, when only spaces separate them.
    QStringView keyBefore(size_t index) const
    {
        return index > 0 && joined(index - 1) ? words[index - 1].key : QStringView();
    }
    // Word `index`, when only spaces separate it from the one before.
    QStringView keyAt(size_t index) const { return index > 0 && joined(index - 1) ? words[index].key : QStringView(); }
    std::optional<Number> numberAt(size_t first) const;
    std::optional<Number> numberAfter(const Number& number) const
    {
        return joined(number.next - 1) ? numberAt(number.next) : std::nullopt;
    }
};

// Hundreds, tens, units: a word's place within a group of three digits; the teens take tens and units.
int placeOf(qint64 value)
{
    return value < 10 ? 0 : value < 100 ? 1 : 2;
}

bool standsAlone(const NumberWords::Entry& entry)
{
    return !entry.multiplier && (entry.value == 0 || entry.value >= 1000);
}

// The longest run of number words from `first` on that makes one number the way it is said: hundreds, tens
// and units in that order, each group before its multiplier, larger multipliers first, an ordinal word last.
// «семь тридцать» is two numbers, «двадцать пять» one.
std::optional<Number> Reading::numberAt(size_t first) const
{
    const NumberWords& lexicon = NumberWords::shared();
    Number number{.first = first, .next = first};
    qint64 total = 0;
    qint64 group = 0;
    qint64 lastMultiplier = std::numeric_limits<qint64>::max();
    int freePlace = 2;
    int multipliers = 0;
    quint64 ruleSets = 0;
    QString spoken;
    for (size_t index = first; index < words.size() && (index == first || joined(index - 1)); ++index) {
        const NumberWords::Entry* entry = lexicon.find(words[index].key);
        if (!entry || (standsAlone(*entry) && index > first))
            break;
        if (entry->multiplier) {
            if (entry->value >= lastMultiplier || (group == 0 && index > first))
                break;
            total += std::max<qint64>(group, 1) * entry->value;
            group = 0;
            freePlace = 2;
            lastMultiplier = entry->value;
            ++multipliers;
        } else {
            const int place = placeOf(entry->value);
            if (place > freePlace)
                break;
            group += entry->value;
            freePlace = entry->value < 20 ? -1 : place - 1;
        }
        number.next = index + 1;
        number.endingMultiplier = entry->multiplier && multipliers == 1 ? entry->value : 0;
        ruleSets = entry->ruleSets;
        if (index > first)
            spoken += u' ';
        spoken += entry->icuSpelling.isEmpty() ? words[index].key : QStringView(entry->icuSpelling);
        if (entry->ordinal || standsAlone(*entry))
            break;
    }
    if (number.next == first)
        return std::nullopt;
    const NumberWords::Entry* firstEntry = lexicon.find(words[first].key);
    number.value = total + group;
    number.bareMultiplier = firstEntry->multiplier && number.next == first + 1;
    const std::optional<Kind> kind = lexicon.kindOfSpelling(number.value, spoken, ruleSets, firstEntry->multiplier);
    number.trusted = kind.has_value();
    number.kind = kind.value_or(Kind::cardinal);
    return number;
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

// «двадцать пять тысяч» → «25 тысяч», «пять тысяч» → «5000».
QString digitsOf(const Reading& reading, const Number& number, QChar groupSeparator)
{
    if (number.endingMultiplier == 0 || number.value < 10000)
        return grouped(number.value, groupSeparator);
    const Word& last = reading.words[number.next - 1];
    return grouped(number.value / number.endingMultiplier, groupSeparator) + u' ' +
           reading.text.mid(last.start, last.end - last.start);
}

bool isConsonant(QChar c)
{
    return c.isLetter() && !QStringView(u"аеиоуыэюяйьъ").contains(c);
}

// The ending an ordinal keeps after its digits: two letters after a consonant («пятого» → «го», «пятыми» →
// «ми»), one otherwise («пятым» → «м», «третье» → «е»).
QStringView endingOf(QStringView word)
{
    return word.size() >= 2 && isConsonant(word.at(word.size() - 2)) ? word.right(2) : word.right(1);
}

struct Rewrite
{
    // The word after what was read.
    size_t next;
    // The words [first, next) become `text`; nothing changes when it is null.
    size_t first = 0;
    QString text;
};

Rewrite keep(size_t next)
{
    return {next, 0, QString()};
}

bool isClockHour(const Reading& reading, const Number& number)
{
    return number.kind == Kind::cardinal && number.value <= 24 &&
           contains(timePrepositions(), reading.keyBefore(number.first));
}

// «в семь тридцать» → «в 7:30», «к девяти ноль пять» → «к 9:05».
std::optional<Rewrite> clockTime(const Reading& reading, const Number& hours, const Number& minutes)
{
    if (!hours.trusted || !minutes.trusted || !isClockHour(reading, hours) || minutes.kind != Kind::cardinal)
        return std::nullopt;
    Number last = minutes;
    qint64 minute = minutes.value;
    if (minutes.value == 0) {
        const std::optional<Number> single = reading.numberAfter(minutes);
        if (!single || !single->trusted || single->kind != Kind::cardinal || single->value > 9)
            return std::nullopt;
        last = *single;
        minute = single->value;
    } else if (minutes.value < 10 || minutes.value > 59) {
        return std::nullopt;
    }
    if (reading.numberAfter(last))
        return std::nullopt;
    return Rewrite{last.next, hours.first,
                   QStringLiteral("%1:%2").arg(hours.value).arg(minute, 2, 10, QLatin1Char('0'))};
}

Rewrite cardinal(const Reading& reading, const Number& number, QChar groupSeparator)
{
    const QStringView after = reading.keyAt(number.next);
    const QString digits = digitsOf(reading, number, groupSeparator);
    if (contains(percentWords(), after))
        return {number.next + 1, number.first, digits + QStringLiteral(" %")};
    const bool homograph = number.next == number.first + 1 && contains(homographs(), reading.words[number.first].key);
    if (contains(unitWords(), after) || (isClockHour(reading, number) && contains(hourWords(), after)) ||
        (number.value > 10 && !homograph))
        return {number.next, number.first, digits};
    return keep(number.next);
}

Rewrite ordinal(const Reading& reading, const Number& number, QChar groupSeparator)
{
    const QStringView after = reading.keyAt(number.next);
    const QString digits = grouped(number.value, groupSeparator);
    if ((contains(months(), after) && number.value >= 1 && number.value <= 31) ||
        (contains(yearWords(), after) && number.value >= 1000))
        return {number.next, number.first, digits};
    if (number.value > 10)
        return {number.next, number.first, digits + u'-' + endingOf(reading.words[number.next - 1].key).toString()};
    return keep(number.next);
}

// «ни одного», «один из», «на все сто».
bool isFixedPhrase(const Reading& reading, const Number& number)
{
    const QStringView before = reading.keyBefore(number.first);
    return before == u"ни" || reading.keyAt(number.next) == u"из" ||
           (before == u"все" && reading.words[number.first].key == u"сто" && number.next == number.first + 1);
}

// A number with no number right after it. Fixed phrases stay, and so does a number that something else goes
// on with.
Rewrite single(const Reading& reading, const Number& number, QChar groupSeparator)
{
    if (!number.trusted || number.bareMultiplier || isFixedPhrase(reading, number) ||
        contains(continuations(), reading.keyAt(number.next)))
        return keep(number.next);
    return number.kind == Kind::ordinal ? ordinal(reading, number, groupSeparator)
                                        : cardinal(reading, number, groupSeparator);
}

// Numbers said one after another are a clock time or stay as said: «пять шесть человек», a dictated phone
// number.
Rewrite rewriteOf(const Reading& reading, const Number& number, QChar groupSeparator)
{
    std::optional<Number> following = reading.numberAfter(number);
    if (!following)
        return single(reading, number, groupSeparator);
    if (const std::optional<Rewrite> time = clockTime(reading, number, *following))
        return *time;
    size_t next = following->next;
    while ((following = reading.numberAfter(*following)))
        next = following->next;
    return keep(next);
}

} // namespace

namespace RussianNumbers
{

QString digitize(const QString& text, QChar groupSeparator)
{
    if (!NumberWords::shared().isValid())
        return text;
    const QString folded = TextFormatter::foldInPlace(text);
    const Reading reading{text, wordsOf(folded)};
    QString result;
    qsizetype copied = 0;
    for (size_t index = 0; index < reading.words.size();) {
        const std::optional<Number> number = reading.numberAt(index);
        if (!number) {
            ++index;
            continue;
        }
        const Rewrite rewrite = rewriteOf(reading, *number, groupSeparator);
        if (!rewrite.text.isNull()) {
            const qsizetype start = reading.words[rewrite.first].start;
            result += QStringView(text).mid(copied, start - copied);
            result += rewrite.text;
            copied = reading.words[rewrite.next - 1].end;
        }
        index = rewrite.next;
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

bool isUnit(QStringView word)
{
    const NumberWords::Entry* entry = NumberWords::shared().find(word);
    return contains(unitWords(), word) || contains(percentWords(), word) || contains(months(), word) ||
           contains(yearWords(), word) || (entry && entry->multiplier);
}

} // namespace RussianNumbers
