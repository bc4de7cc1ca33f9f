#include "text/WordFixes.h"

#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>

namespace WordFixes
{
namespace
{

// Beyond these the edit is no fix of a word or two.
constexpr int mostChangedWords = 2;
constexpr int mostPlaces = 2;
// A longer text is not compared at all: the table grows with the product of the lengths.
constexpr qsizetype mostWords = 400;
// Letters that may differ, per letter of the longer spelling.
constexpr double mostDifferentLetters = 0.4;
// A change inside the last letters of a word in lower case is taken for its ending.
constexpr qsizetype endingLength = 2;

bool isWordCharacter(const QString& text, qsizetype index)
{
    const QChar character = text.at(index);
    if (character.isLetterOrNumber())
        return true;
    // A hyphen or an apostrophe inside a word: «кто-то», «O'Reilly».
    const bool joiner = character == u'-' || character == u'\'' || character == u'’';
    return joiner && index > 0 && index + 1 < text.size() && text.at(index - 1).isLetterOrNumber() &&
           text.at(index + 1).isLetterOrNumber();
}

QStringList wordsOf(const QString& text)
{
    QStringList words;
    qsizetype start = -1;
    for (qsizetype index = 0; index <= text.size(); ++index) {
        const bool inWord = index < text.size() && isWordCharacter(text, index);
        if (inWord && start < 0)
            start = index;
        else if (!inWord && start >= 0) {
            words << text.mid(start, index - start);
            start = -1;
        }
    }
    return words;
}

// A place where the pasted words `from` … became the edited ones `to` ….
struct Change
{
    QStringList pasted;
    QStringList edited;
};

// The places where the two word lists differ, along their longest common sequence of words.
std::vector<Change> changesBetween(const QStringList& pasted, const QStringList& edited)
{
    const auto rows = pasted.size(), columns = edited.size();
    std::vector<std::vector<int>> common(static_cast<std::size_t>(rows + 1), std::vector<int>(columns + 1, 0));
    for (qsizetype row = rows - 1; row >= 0; --row) {
        for (qsizetype column = columns - 1; column >= 0; --column) {
            auto& cell = common[row][column];
            cell = pasted[row] == edited[column] ? common[row + 1][column + 1] + 1
                                                 : std::max(common[row + 1][column], common[row][column + 1]);
        }
    }
    std::vector<Change> changes;
    Change open;
    const auto close = [&] {
        if (!open.pasted.isEmpty() || !open.edited.isEmpty())
            changes.push_back(std::exchange(open, {}));
    };
    qsizetype row = 0, column = 0;
    while (row < rows || column < columns) {
        if (row < rows && column < columns && pasted[row] == edited[column]) {
            close();
            ++row;
            ++column;
        } else if (column < columns && (row == rows || common[row][column + 1] >= common[row + 1][column])) {
            open.edited << edited[column++];
        } else {
            open.pasted << pasted[row++];
        }
    }
    close();
    return changes;
}

// How the spelling sounds to a Russian ear: Latin letters read as Russian ones, «ё» as «е», lower case, the words
// run together.
QString sound(const QString& spelling)
{
    static const std::pair<const char16_t*, const char16_t*> digraphs[] = {
        {u"sh", u"ш"}, {u"ch", u"ч"}, {u"zh", u"ж"}, {u"ph", u"ф"}, {u"th", u"т"}, {u"oo", u"у"}, {u"ee", u"и"}};
    static const QString latin = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    static const QString russian = QStringLiteral("абкдефгхижклмнопкрстуввкиз");
    QString text = spelling.toLower().remove(u' ');
    for (const auto& [from, to] : digraphs)
        text.replace(QString::fromUtf16(from), QString::fromUtf16(to));
    for (QChar& character : text) {
        if (const qsizetype index = latin.indexOf(character); index >= 0)
            character = russian.at(index);
        else if (character == u'ё')
            character = u'е';
    }
    return text;
}

qsizetype editDistance(const QString& first, const QString& second)
{
    std::vector<qsizetype> previous(second.size() + 1), current(second.size() + 1);
    for (qsizetype column = 0; column <= second.size(); ++column)
        previous[column] = column;
    for (qsizetype row = 1; row <= first.size(); ++row) {
        current[0] = row;
        for (qsizetype column = 1; column <= second.size(); ++column)
            current[column] = std::min({previous[column] + 1, current[column - 1] + 1,
                                        previous[column - 1] + (first[row - 1] == second[column - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[second.size()];
}

bool soundsAlike(const QString& wrong, const QString& right)
{
    const QString heard = sound(wrong), meant = sound(right);
    const auto longer = std::max(heard.size(), meant.size());
    return editDistance(heard, meant) <= std::max<qsizetype>(1, static_cast<qsizetype>(longer * mostDifferentLetters));
}

// «столом» → «столам»: the same word in another form, which no dictionary pair should force.
bool onlyTheEndingChanged(const QString& wrong, const QString& right)
{
    if (wrong != wrong.toLower() || right != right.toLower())
        return false;
    qsizetype same = 0;
    while (same < wrong.size() && same < right.size() && wrong[same] == right[same])
        ++same;
    return wrong.size() - same <= endingLength && right.size() - same <= endingLength;
}

std::optional<CorrectionPair> pairOf(const Change& change)
{
    const QString wrong = change.pasted.join(u' '), right = change.edited.join(u' ');
    if (wrong.toLower() == right.toLower() || onlyTheEndingChanged(wrong, right) || !soundsAlike(wrong, right))
        return std::nullopt;
    return CorrectionPair{wrong.toLower(), right};
}

} // namespace

std::vector<CorrectionPair> between(const QString& pasted, const QString& edited)
{
    const QStringList pastedWords = wordsOf(pasted), editedWords = wordsOf(edited);
    if (pastedWords.isEmpty() || pastedWords.size() > mostWords || editedWords.size() > mostWords)
        return {};
    const std::vector<Change> changes = changesBetween(pastedWords, editedWords);
    qsizetype changed = 0;
    for (const Change& change : changes) {
        // Words only deleted or only added, or more than a word or two in one place: no fix of a spelling.
        if (change.pasted.isEmpty() || change.edited.isEmpty() || change.pasted.size() > mostChangedWords ||
            change.edited.size() > mostChangedWords)
            return {};
        changed += change.pasted.size();
    }
    // A short text rewritten in half is rewritten, not fixed.
    if (changes.size() > mostPlaces || changed > mostChangedWords ||
        (pastedWords.size() >= 3 && 2 * changed > pastedWords.size()))
        return {};
    std::vector<CorrectionPair> pairs;
    for (const Change& change : changes) {
        if (const std::optional<CorrectionPair> pair = pairOf(change))
            pairs.push_back(*pair);
    }
    return pairs;
}

} // namespace WordFixes
