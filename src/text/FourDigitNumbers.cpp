#include "text/FourDigitNumbers.h"

#include "core/Regex.h"
#include "text/NumberVocabulary.h"
#include "text/RussianNumbers.h"
#include "text/TextKeys.h"

#include <algorithm>
#include <vector>

namespace
{

bool isGroupSpace(QChar c)
{
    return c == u' ' || c == u'\u00A0' || c == u'\u2009' || c == u'\u202F';
}

struct Figure
{
    qsizetype start;
    qsizetype end;
    // The digits of its whole part, without group spaces.
    QString digits;
    bool split;
};

// The words that join the figures of one list: «1500, 2000 и 25 000 рублей», «от 1500 до 25 000 рублей».
bool joinsFigures(const QString& word)
{
    static const QStringView words[] = {u"и", u"или", u"а", u"от", u"до", u"по", u"из"};
    if (std::find(std::begin(words), std::end(words), word) != std::end(words))
        return true;
    return RussianNumbers::isUnit(word) && !NumberVocabulary::isYear(word) && !NumberVocabulary::isMonth(word);
}

// Nothing but spaces, commas, dashes and joining words between two figures, in one sentence.
bool sameList(const QString& text, const Figure& first, const Figure& second)
{
    static const Regex word(QStringLiteral("\\p{L}+|[^\\s,\\x{00A0}\\-–—]"));
    const QString between = text.mid(first.end, second.start - first.end);
    if (between.size() > 40)
        return false;
    const std::vector<Regex::Match> parts = word.matchAll(between);
    return std::all_of(parts.begin(), parts.end(), [](const Regex::Match& part) {
        const QString key = TextKeys::foldInPlace(part.captured());
        return key.front().isLetter() ? joinsFigures(key) : RussianNumbers::isUnit(key);
    });
}

// «в 2024 году»: a year, said with its word.
bool isYear(const QString& text, const Figure& figure)
{
    static const Regex yearWord(QStringLiteral("^[ \\x{00A0}]+(\\p{L}+)"));
    const std::vector<Regex::Match> after = yearWord.matchAll(text.mid(figure.end, 12));
    return !after.empty() && NumberVocabulary::isYear(TextKeys::foldInPlace(after.front().captured(1)));
}

// A run of four digits, or of one to three before a group space: the cheap test before the figures are read.
bool hasFourDigits(QStringView text)
{
    qsizetype run = 0;
    for (qsizetype position = 0; position <= text.size(); ++position) {
        if (position < text.size() && text.at(position).isDigit()) {
            ++run;
            continue;
        }
        if (run == 4 || (run > 0 && run < 4 && position + 1 < text.size() && isGroupSpace(text.at(position)) &&
                         text.at(position + 1).isDigit()))
            return true;
        run = 0;
    }
    return false;
}

std::vector<Figure> figuresOf(const QString& text)
{
    static const Regex figure(QStringLiteral(
        "(?<![\\p{L}\\p{N}.,:/\\-№#+_]|\\p{N}[ \\x{00A0}])(?:\\d{1,3}(?:[ \\x{00A0}\\x{2009}\\x{202F}]\\d{3})+|\\d+)"
        "(?![\\p{N}\\p{L}_]|[.:/\\-]\\p{N}|[ \\x{00A0}]\\p{N})"));
    std::vector<Figure> figures;
    for (const Regex::Match& match : figure.matchAll(text)) {
        QString digits = match.captured();
        digits.removeIf(isGroupSpace);
        figures.push_back({match.start(), match.end(), digits, digits.size() != match.length()});
    }
    return figures;
}

bool endsSentence(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'…';
}

// The figures of the sentences that hold four digits, in order: a list of figures never crosses a sentence's end, and
// reading only these keeps the pattern off long texts. Each sentence is read with the end mark before it and two
// characters after its own, all the pattern looks at around a figure; a figure belongs to the sentence it starts in.
std::vector<Figure> figuresNearFourDigits(const QString& text)
{
    std::vector<Figure> figures;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = start;
        while (end < text.size() && !endsSentence(text.at(end)))
            ++end;
        if (hasFourDigits(QStringView(text).mid(start, end - start))) {
            const qsizetype from = std::max<qsizetype>(start - 1, 0);
            for (Figure& figure : figuresOf(text.mid(from, std::min(end + 2, text.size()) - from))) {
                figure.start += from;
                figure.end += from;
                if (figure.start >= start && figure.start < end)
                    figures.push_back(std::move(figure));
            }
        }
        start = end + 1;
    }
    return figures;
}

QString setFigure(const Figure& figure, bool split, QChar separator)
{
    return split ? figure.digits.left(1) + separator + figure.digits.mid(1) : figure.digits;
}

} // namespace

namespace FourDigitNumbers
{

QString set(const QString& text, QChar groupSeparator)
{
    const std::vector<Figure> figures = figuresNearFourDigits(text);
    QString result;
    qsizetype copied = 0;
    for (size_t first = 0; first < figures.size();) {
        size_t next = first + 1;
        while (next < figures.size() && sameList(text, figures[next - 1], figures[next]))
            ++next;
        const bool largeSplit = std::any_of(figures.begin() + first, figures.begin() + next, [](const Figure& figure) {
            return figure.split && figure.digits.size() > 4;
        });
        for (size_t index = first; index < next; ++index) {
            const Figure& figure = figures[index];
            if (figure.digits.size() != 4 || figure.split == largeSplit || figure.digits.front() == u'0' ||
                isYear(text, figure))
                continue;
            result += QStringView(text).mid(copied, figure.start - copied);
            result += setFigure(figure, largeSplit, groupSeparator);
            copied = figure.end;
        }
        first = next;
    }
    if (copied == 0)
        return text;
    return result + text.mid(copied);
}

} // namespace FourDigitNumbers
