#pragma once

#include "text/NumberWords.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

// The words of a text and the Russian numbers they spell, read the way they are said: hundreds, tens and
// units in that order, each group before its multiplier, larger multipliers first, an ordinal word last.
namespace NumberReading
{
struct Word
{
    qsizetype start;
    qsizetype end;
    // Lower case, "ё" as "е".
    QStringView key;
};

struct Number
{
    size_t first = 0;
    // The word after the number.
    size_t next = 0;
    qint64 value = 0;
    NumberWords::Kind kind = NumberWords::Kind::cardinal;
    // ICU spells the value back exactly as it was said.
    bool trusted = false;
    // Nothing but «тысяча», «тысячи», «миллион»: more often "thousands" than a number.
    bool bareMultiplier = false;
    // «двадцать пять тысяч»: the value of the one multiplier the number ends with; 0 otherwise.
    qint64 endingMultiplier = 0;
};

class Reading
{
public:
    // `folded` is `text` in lower case with "ё" as "е" (TextKeys::foldInPlace); both must outlive it.
    Reading(const QString& text, const QString& folded);

    const QString& text() const { return text_; }
    const std::vector<Word>& words() const { return words_; }
    // Nothing but spaces between word `index` and the next one.
    bool joined(size_t index) const;
    // A dash alone, with or without spaces around it, between word `index` and the next one: «десять - пятнадцать».
    bool dashAfter(size_t index) const;
    // The word right before word `index`, when only spaces separate them; empty otherwise.
    QStringView keyBefore(size_t index) const;
    // Word `index`, when only spaces separate it from the one before; empty otherwise.
    QStringView keyAt(size_t index) const;
    // The longest run of number words from word `first` on that makes one number: «семь тридцать» is two
    // numbers, «двадцать пять» one.
    std::optional<Number> numberAt(size_t first) const;
    std::optional<Number> numberAfter(const Number& number) const;
    // The original text of words [first, next).
    QString said(size_t first, size_t next) const;

private:
    // What separates word `index` from the next one.
    QStringView between(size_t index) const;

    const QString& text_;
    std::vector<Word> words_;
};

// What becomes of the number a rewrite is given.
struct Rewrite
{
    // The word after what was read.
    size_t next;
    // The words [first, next) become `text`; nothing changes when it is null.
    size_t first = 0;
    QString text;
};

// The value in digits, grouped by three with `separator` from five digits on («10 000», «2024»).
QString grouped(qint64 value, QChar separator);
// Nothing changes; reading goes on at word `next`.
Rewrite keep(size_t next);
// Every number of the text, each replaced as `rewrite` says (the text as it is without a usable spell-out).
QString rewritten(const QString& text, const std::function<Rewrite(const Reading&, const Number&)>& rewrite);
} // namespace NumberReading
