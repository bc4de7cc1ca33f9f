#include "text/PunctuationSpacing.h"

#include "core/Regex.h"

#include <QStringList>

#include <vector>

namespace
{

bool isGap(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isSmileyMouth(QChar c)
{
    return QStringView(u"()DPpОо3*|[]\\/-").contains(c);
}

// Whether the mark at `position` takes no space before it. A full stop does only where no letter or digit
// follows it (« .bashrc» is a file name), a comma where no digit does, «:» and «;» unless they open a smiley.
bool clingsToWordBefore(const QString& text, qsizetype position)
{
    const QChar mark = text.at(position);
    const QChar next = position + 1 < text.size() ? text.at(position + 1) : QChar(u' ');
    switch (mark.unicode()) {
    case u'.':
        return !next.isLetterOrNumber();
    case u',':
        return !next.isDigit();
    case u':':
    case u';':
        return !isSmileyMouth(next);
    case u'!':
    case u'?':
    case u')':
        return true;
    default:
        return false;
    }
}

// «слово , слово» → «слово, слово»; not at the start of a line, after an opening bracket or a smiley.
QString withoutSpaceBeforeMarks(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype position = 0; position < text.size();) {
        if (!isGap(text.at(position))) {
            result += text.at(position++);
            continue;
        }
        qsizetype end = position;
        while (end < text.size() && isGap(text.at(end)))
            ++end;
        const bool afterWord = position > 0 && !text.at(position - 1).isSpace() && text.at(position - 1) != u'(';
        const bool afterSmiley =
            position > 1 && text.at(position - 1) == u')' && QStringView(u":;").contains(text.at(position - 2));
        if (!(end < text.size() && afterWord && !afterSmiley && clingsToWordBefore(text, end)))
            result += QStringView(text).mid(position, end - position);
        position = end;
    }
    return result;
}

// Straight quotation marks paired in their order on each line, when each has its partner there and
// stands where a quotation opens or closes.
QString withoutSpaceInsideStraightQuotes(const QString& text)
{
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        std::vector<qsizetype> marks;
        for (qsizetype position = line.indexOf(u'"'); position >= 0; position = line.indexOf(u'"', position + 1))
            marks.push_back(position);
        if (marks.empty() || marks.size() % 2 != 0)
            continue;
        const auto opens = [&line](qsizetype at) {
            return at == 0 || line.at(at - 1).isSpace() || line.at(at - 1) == u'(';
        };
        const auto closes = [&line](qsizetype at) {
            return at + 1 == line.size() || line.at(at + 1).isSpace() ||
                   QStringView(u".,;:!?)…").contains(line.at(at + 1));
        };
        bool paired = true;
        for (size_t index = 0; index < marks.size(); index += 2)
            paired = paired && opens(marks[index]) && closes(marks[index + 1]);
        if (!paired)
            continue;
        // From the last pair back, so that the positions before stay right.
        for (size_t index = marks.size(); index > 0; index -= 2) {
            const qsizetype opening = marks[index - 2];
            qsizetype closing = marks[index - 1];
            qsizetype before = closing;
            while (before > opening + 1 && isGap(line.at(before - 1)))
                --before;
            line.remove(before, closing - before);
            closing = before;
            qsizetype after = opening + 1;
            while (after < closing && isGap(line.at(after)))
                ++after;
            line.remove(opening + 1, after - opening - 1);
        }
    }
    return lines.join(u'\n');
}

} // namespace

namespace PunctuationSpacing
{

QString tidied(const QString& text)
{
    static const Regex afterColon(QStringLiteral("(?<=[\\p{L}»\")]):(?=[А-Яа-яЁё])"));
    static const Regex insideOpening(QStringLiteral("(?<![:;])([(«„])[ \\t]+(?=\\S)"));
    static const Regex beforeClosing(QStringLiteral("(?<=\\S)[ \\t]+(»)"));
    QString result = withoutSpaceInsideStraightQuotes(text);
    result = insideOpening.replaceAll(result, QStringLiteral("$1"));
    result = beforeClosing.replaceAll(result, QStringLiteral("$1"));
    result = withoutSpaceBeforeMarks(result);
    return afterColon.replaceAll(result, QStringLiteral(": "));
}

} // namespace PunctuationSpacing
