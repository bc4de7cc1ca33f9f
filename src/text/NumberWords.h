#pragma once

#include <QString>
#include <QStringView>

#include <unicode/uversion.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

U_NAMESPACE_BEGIN
class RuleBasedNumberFormat;
U_NAMESPACE_END

// The Russian number words of ICU's spell-out rules, one rule set per gender and case of the cardinal and
// the ordinal numbers ("%spellout-cardinal-feminine-genitive", "%spellout-ordinal-masculine-locative", …).
// ICU parses spelled-out numbers too, but not the way dictation needs: a parse takes up to a millisecond,
// does not tell which rule set matched (so «пятого» cannot be told from «пять»), and rejects «тысяча» and
// «миллион» without «одна», «один» before them. So the words come from ICU's spellings of the numbers all
// others are made of, and a number read from them counts only when ICU spells its value back exactly.
// ICU 72 misspells a few ordinals («третьому», «восемьдесятое», «сороковой» for «сороковом»), which are
// checked against its misspelling, and has none for the hundreds and millions («двухсотый»), which are
// known, so that a number is not cut short before them, but never confirmed.
class NumberWords
{
public:
    struct Entry
    {
        qint64 value = 0;
        // «тысяча», «миллионов»: counts what is said before it.
        bool multiplier = false;
        // Found in ordinal spellings only («пятого»): nothing more of the number follows it.
        bool ordinal = true;
        // Bit i set: a number spelled by the i-th rule set can end with this word.
        quint64 ruleSets = 0;
        // The word as ICU misspells it («третьому» for «третьему»); empty when ICU spells it right.
        QString icuSpelling;
    };
    enum class Kind
    {
        cardinal,
        ordinal,
    };

    // Built on first use from about 2 500 spellings.
    static const NumberWords& shared();
    ~NumberWords();
    NumberWords(const NumberWords&) = delete;
    NumberWords& operator=(const NumberWords&) = delete;

    // False when ICU has no Russian spell-out rules; no word is then a number word.
    bool isValid() const { return formatter_ != nullptr; }
    // `word` in lower case with "ё" as "е".
    const Entry* find(QStringView word) const;
    // Whether one of `ruleSets` spells `value` exactly as `spoken` (words in lower case with "ё" as "е", one
    // space apart), the cardinal rule sets asked first. `withoutOne`: `spoken` starts with «тысяча» or
    // «миллион» where ICU says «одна тысяча», «один миллион».
    std::optional<Kind> kindOfSpelling(qint64 value, QStringView spoken, quint64 ruleSets, bool withoutOne) const;

private:
    struct WordHash
    {
        using is_transparent = void;
        size_t operator()(std::u16string_view word) const { return std::hash<std::u16string_view>{}(word); }
    };

    NumberWords();
    QString spell(qint64 value, size_t ruleSet) const;
    void addSpellingsOf(size_t ruleSet);
    void add(QStringView word, qint64 value, bool multiplier, size_t ruleSet);
    void addWordsIcuMisspells();
    void addOrdinalsIcuLacks();
    bool spellsAs(size_t ruleSet, qint64 value, QStringView spoken, bool withoutOne) const;

    std::unique_ptr<icu::RuleBasedNumberFormat> formatter_;
    std::vector<QString> ruleSetNames_;
    std::vector<bool> ordinalRuleSets_;
    std::unordered_map<std::u16string, Entry, WordHash, std::equal_to<>> words_;
    // One formatter for every thread.
    mutable std::mutex mutex_;
};
