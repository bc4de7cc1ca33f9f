#pragma once

#include "core/Regex.h"

#include <QString>

#include <bitset>
#include <mutex>

// The compiled pattern of one `wrong` form of the corrections dictionary: the form as a whole word,
// ignoring case, with an inflectional ending of up to three Cyrillic letters after a single word. Compiling
// is far dearer than matching, and most pairs of a large dictionary do not occur in a given text, so a
// cheap test rules those out before the regular expression runs.
class CorrectionPattern
{
public:
    // A text prepared for `mayMatch`.
    class Subject
    {
    public:
        explicit Subject(const QString& text);

        const QString& folded() const { return folded_; }
        bool hasAdjacent(QChar first, QChar second) const { return adjacent_.test(adjacentKey(first, second)); }

    private:
        friend class CorrectionPattern;
        static size_t adjacentKey(QChar first, QChar second);

        QString folded_;
        std::bitset<65536> adjacent_;
    };

    explicit CorrectionPattern(const QString& wrong);

    const QString& wrong() const { return wrong_; }
    // A phrase (holding a space) takes no ending.
    bool isPhrase() const { return phrase_; }
    // False only when the text certainly holds no match.
    bool mayMatch(const Subject& subject) const;
    // Compiled on first use; invalid when the form cannot be compiled.
    const Regex& regex() const;

    // Full case folding: what the regular-expression engine compares when it ignores case.
    static QString caseFolded(const QString& text);

private:
    QString source() const;

    QString wrong_;
    QString folded_;
    bool phrase_;
    mutable std::once_flag compiled_;
    mutable Regex regex_;
};
