#include "text/NumberWords.h"

#include "core/Log.h"
#include "text/TextKeys.h"

#include <unicode/locid.h>
#include <unicode/rbnf.h>

#include <algorithm>
#include <bit>

namespace
{

constexpr qint64 thousand = 1000;
constexpr qint64 million = 1000000;

std::u16string_view view(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

// Every other number is spelled with these: units, teens, tens, hundreds, and the counts of thousands and
// millions that give each form of «тысяча», «миллион» and the one-word ordinals («двухтысячного»).
std::vector<qint64> buildingBlocks()
{
    std::vector<qint64> values;
    for (qint64 value = 0; value < 20; ++value)
        values.push_back(value);
    for (qint64 value = 20; value < 100; value += 10)
        values.push_back(value);
    for (qint64 value = 100; value < thousand; value += 100)
        values.push_back(value);
    for (qint64 value = thousand; value < 10 * thousand; value += thousand)
        values.push_back(value);
    for (qint64 count : {1, 2, 5})
        values.push_back(count * million);
    return values;
}

bool hasDigit(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace

const NumberWords& NumberWords::shared()
{
    static const NumberWords words;
    return words;
}

NumberWords::NumberWords()
{
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT, icu::Locale("ru"), status);
    if (U_FAILURE(status)) {
        Log::info(QStringLiteral("Правила ICU для русских числительных недоступны (%1): числа остаются словами")
                      .arg(QLatin1String(u_errorName(status))));
        return;
    }
    formatter_ = std::move(formatter);
    for (int32_t index = 0; index < formatter_->getNumberOfRuleSetNames(); ++index) {
        const icu::UnicodeString name = formatter_->getRuleSetName(index);
        const QString title(reinterpret_cast<const QChar*>(name.getBuffer()), name.length());
        const bool ordinal = title.startsWith(QLatin1String("%spellout-ordinal"));
        // "%spellout-numbering…" repeats the nominative cardinal and the genitive ordinal.
        if (!ordinal && !title.startsWith(QLatin1String("%spellout-cardinal")))
            continue;
        if (ruleSetNames_.size() == 64)
            break;
        ruleSetNames_.push_back(title);
        ordinalRuleSets_.push_back(ordinal);
    }
    for (size_t ruleSet = 0; ruleSet < ruleSetNames_.size(); ++ruleSet)
        addSpellingsOf(ruleSet);
    addWordsIcuMisspells();
    addOrdinalsIcuLacks();
}

NumberWords::~NumberWords() = default;

const NumberWords::Entry* NumberWords::find(QStringView word) const
{
    const auto found = words_.find(view(word));
    return found == words_.end() ? nullptr : &found->second;
}

std::optional<NumberWords::Kind> NumberWords::kindOfSpelling(qint64 value, QStringView spoken, quint64 ruleSets,
                                                             bool withoutOne) const
{
    for (const bool ordinal : {false, true}) {
        for (quint64 rest = ruleSets; rest != 0; rest &= rest - 1) {
            const auto ruleSet = static_cast<size_t>(std::countr_zero(rest));
            if (ordinalRuleSets_.at(ruleSet) == ordinal && spellsAs(ruleSet, value, spoken, withoutOne))
                return ordinal ? Kind::ordinal : Kind::cardinal;
        }
    }
    return std::nullopt;
}

QString NumberWords::spell(qint64 value, size_t ruleSet) const
{
    const QString& name = ruleSetNames_.at(ruleSet);
    const icu::UnicodeString icuName(false, reinterpret_cast<const UChar*>(name.utf16()),
                                     static_cast<int32_t>(name.size()));
    icu::UnicodeString spelled;
    icu::FieldPosition position;
    UErrorCode status = U_ZERO_ERROR;
    {
        std::lock_guard lock(mutex_);
        formatter_->format(static_cast<int64_t>(value), icuName, spelled, position, status);
    }
    if (U_FAILURE(status))
        return {};
    return TextKeys::foldInPlace(QString(reinterpret_cast<const QChar*>(spelled.getBuffer()), spelled.length()));
}

// A word that ends a one-word spelling is a number word of its own; the last word of «две тысячи» or «пять
// миллионов» is a form of the multiplier. ICU writes numbers it has no rule for in digits ("1000000.").
void NumberWords::addSpellingsOf(size_t ruleSet)
{
    for (const qint64 value : buildingBlocks()) {
        const QString spelled = spell(value, ruleSet);
        if (spelled.isEmpty() || hasDigit(spelled))
            continue;
        const qsizetype space = spelled.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            add(spelled, value, false, ruleSet);
        else if (value >= thousand)
            add(QStringView(spelled).mid(space + 1), value >= million ? million : thousand, true, ruleSet);
    }
}

void NumberWords::add(QStringView word, qint64 value, bool multiplier, size_t ruleSet)
{
    auto [entry, added] = words_.try_emplace(std::u16string(view(word)));
    if (added) {
        entry->second.value = value;
        entry->second.multiplier = multiplier;
    } else if (entry->second.value != value || entry->second.multiplier != multiplier) {
        return;
    }
    entry->second.ruleSets |= quint64{1} << ruleSet;
    if (!ordinalRuleSets_.at(ruleSet))
        entry->second.ordinal = false;
}

// Each takes the value and the rule sets of ICU's misspelling, where ICU still has it.
void NumberWords::addWordsIcuMisspells()
{
    static const std::pair<std::u16string_view, std::u16string_view> misspellings[] = {
        {u"третьему", u"третьому"},           {u"сороковом", u"сороковой"},
        {u"сороковыми", u"сороковой"},        {u"восьмидесятое", u"восемьдесятое"},
        {u"восьмидесятые", u"восемьдесятые"}, {u"восьмидесятому", u"восемьдесятому"}};
    for (const auto& [word, misspelling] : misspellings) {
        const auto icuEntry = words_.find(misspelling);
        if (icuEntry == words_.end() || words_.contains(word))
            continue;
        Entry entry = icuEntry->second;
        entry.icuSpelling = QString::fromStdU16String(std::u16string(misspelling));
        words_.emplace(word, std::move(entry));
    }
}

// With no rule set, a number that ends with one of these is never confirmed and stays in words.
void NumberWords::addOrdinalsIcuLacks()
{
    static const std::pair<std::u16string_view, qint64> stems[] = {
        {u"двухсот", 200}, {u"трехсот", 300},   {u"четырехсот", 400}, {u"пятисот", 500},     {u"шестисот", 600},
        {u"семисот", 700}, {u"восьмисот", 800}, {u"девятисот", 900},  {u"миллионн", million}};
    for (const auto& [stem, value] : stems) {
        Entry entry;
        entry.value = value;
        for (const std::u16string_view ending :
             {u"ый", u"ое", u"ая", u"ые", u"ого", u"ой", u"ых", u"ому", u"ым", u"ую", u"ом", u"ыми"})
            words_.try_emplace(std::u16string(stem).append(ending), entry);
    }
}

bool NumberWords::spellsAs(size_t ruleSet, qint64 value, QStringView spoken, bool withoutOne) const
{
    const QString full = spell(value, ruleSet);
    QStringView spelled = full;
    if (withoutOne) {
        const qsizetype space = spelled.indexOf(QLatin1Char(' '));
        if (space < 0)
            return false;
        spelled = spelled.mid(space + 1);
    }
    return spelled == spoken;
}
