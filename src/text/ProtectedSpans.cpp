#include "text/ProtectedSpans.h"

#include "core/Regex.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace
{

// [start, end) in UTF-16 units.
using Range = std::pair<qsizetype, qsizetype>;

qsizetype lineEnd(const QString& text, qsizetype from)
{
    const qsizetype end = text.indexOf(u'\n', from);
    return end < 0 ? text.size() : end;
}

// "```" or "~~~" (three or more) after at most three spaces: the fence a line opens or closes with.
QStringView fenceOf(QStringView line)
{
    qsizetype indent = 0;
    while (indent < 3 && indent < line.size() && line.at(indent) == u' ')
        ++indent;
    const QStringView rest = line.mid(indent);
    if (rest.isEmpty() || (rest.front() != u'`' && rest.front() != u'~'))
        return {};
    const qsizetype length =
        std::find_if(rest.begin(), rest.end(), [&](QChar c) { return c != rest.front(); }) - rest.begin();
    return length >= 3 ? rest.left(length) : QStringView();
}

bool isIndentedCode(QStringView line)
{
    return line.startsWith(QLatin1String("    ")) || line.startsWith(u'\t');
}

bool isBlank(QStringView line)
{
    return line.trimmed().isEmpty();
}

// Fenced blocks up to their closing fence (or the end of the text), and indented lines that start after a
// blank line.
void addCodeBlocks(const QString& text, std::vector<Range>& ranges)
{
    bool afterBlank = true;
    bool inIndented = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = lineEnd(text, start);
        const QStringView line = QStringView(text).mid(start, end - start);
        if (const QStringView fence = fenceOf(line); !fence.isEmpty()) {
            qsizetype closing = end;
            while (closing < text.size()) {
                const qsizetype next = closing + 1;
                closing = lineEnd(text, next);
                if (fenceOf(QStringView(text).mid(next, closing - next)).startsWith(fence))
                    break;
            }
            end = closing;
            ranges.emplace_back(start, end);
        } else if ((afterBlank || inIndented) && isIndentedCode(line)) {
            ranges.emplace_back(start, end);
            inIndented = true;
        } else {
            inIndented = false;
        }
        afterBlank = isBlank(line);
        start = end + 1;
    }
}

qsizetype backtickRun(const QString& text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text.at(end) == u'`')
        ++end;
    return end - from;
}

// From a run of backticks to the next run of the same length; a run without one is literal.
void addCodeSpans(const QString& text, std::vector<Range>& ranges)
{
    qsizetype position = text.indexOf(u'`');
    while (position >= 0) {
        const qsizetype length = backtickRun(text, position);
        qsizetype closing = text.indexOf(u'`', position + length);
        while (closing >= 0 && backtickRun(text, closing) != length)
            closing = text.indexOf(u'`', closing + backtickRun(text, closing));
        if (closing < 0) {
            position = text.indexOf(u'`', position + length);
            continue;
        }
        ranges.emplace_back(position, closing + length);
        position = text.indexOf(u'`', closing + length);
    }
}

bool isAddressLike(QStringView token)
{
    const qsizetype at = token.indexOf(u'@');
    return token.contains(u'/') || token.contains(u'\\') || token.startsWith(QLatin1String("www.")) ||
           (at > 0 && at + 1 < token.size());
}

// URLs, e-mail addresses and paths: words with "/", "\", "@" or "www." in them, without the quotes,
// brackets and punctuation around them.
void addAddresses(const QString& text, std::vector<Range>& ranges)
{
    static const QString leading = QStringLiteral("«\"„“'([<");
    static const QString trailing = QStringLiteral("»\"“”'.,;:!?)]>…");
    for (qsizetype start = 0; start < text.size();) {
        if (text.at(start).isSpace()) {
            ++start;
            continue;
        }
        qsizetype end = start;
        while (end < text.size() && !text.at(end).isSpace())
            ++end;
        qsizetype first = start;
        qsizetype last = end;
        while (first < last && leading.contains(text.at(first)))
            ++first;
        while (last > first && trailing.contains(text.at(last - 1)))
            --last;
        if (isAddressLike(QStringView(text).mid(first, last - first)))
            ranges.emplace_back(first, last);
        start = end;
    }
}

// Shell commands with an option («git commit -m "fix typo"») and calls and assignments with a quoted
// argument («print("привет")», «name="Иван"»): their quotation marks are the program's, not the text's.
void addCommands(const QString& text, std::vector<Range>& ranges)
{
    static const QString token = QStringLiteral("[A-Za-z0-9_./~+=:@%\\-]");
    static const QString quoted = QStringLiteral("(?:\"[^\"\\n]*\"|'[^'\\n]*')");
    static const Regex command(
        QStringLiteral("(?<![\\p{L}\\p{N}_\\-])[A-Za-z]%1*(?: +%1*%2|(?: +%1+))+").arg(token, quoted));
    static const Regex option(QStringLiteral(" --?[A-Za-z]"));
    static const Regex call(QStringLiteral("(?<![\\p{L}\\p{N}_])[A-Za-z_][A-Za-z0-9_.]*[(=]%1\\)?").arg(quoted));
    for (const Regex::Match& match : command.matchAll(text)) {
        if (option.contains(match.captured()))
            ranges.emplace_back(match.start(), match.end());
    }
    for (const Regex::Match& match : call.matchAll(text))
        ranges.emplace_back(match.start(), match.end());
}

bool isTerminator(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'…';
}

bool isLatinOnly(QStringView sentence)
{
    bool latin = false;
    for (const QChar c : sentence) {
        if (!c.isLetter())
            continue;
        if (c.script() == QChar::Script_Cyrillic)
            return false;
        latin = latin || c.script() == QChar::Script_Latin;
    }
    return latin;
}

// Sentences end at line breaks and after ".", "!", "?" or "…" followed by a space.
void addLatinSentences(const QString& text, std::vector<Range>& ranges)
{
    qsizetype start = 0;
    for (qsizetype position = 0; position <= text.size(); ++position) {
        const bool ends = position == text.size() || text.at(position) == u'\n' ||
                          (text.at(position).isSpace() && position > 0 && isTerminator(text.at(position - 1)));
        if (!ends)
            continue;
        if (isLatinOnly(QStringView(text).mid(start, position - start)))
            ranges.emplace_back(start, position);
        start = position + 1;
    }
}

void addPlaceholders(const QString& text, std::vector<Range>& ranges)
{
    for (qsizetype position = text.indexOf(ProtectedSpans::placeholder); position >= 0;
         position = text.indexOf(ProtectedSpans::placeholder, position + 1))
        ranges.emplace_back(position, position + 1);
}

std::vector<Range> merged(std::vector<Range> ranges)
{
    std::sort(ranges.begin(), ranges.end());
    std::vector<Range> result;
    for (const Range& range : ranges) {
        if (range.first >= range.second)
            continue;
        if (!result.empty() && range.first <= result.back().second)
            result.back().second = std::max(result.back().second, range.second);
        else
            result.push_back(range);
    }
    return result;
}

} // namespace

namespace ProtectedSpans
{

Masked mask(const QString& text)
{
    std::vector<Range> ranges;
    addCodeBlocks(text, ranges);
    addCodeSpans(text, ranges);
    addAddresses(text, ranges);
    addCommands(text, ranges);
    addLatinSentences(text, ranges);
    addPlaceholders(text, ranges);
    if (ranges.empty())
        return {text, {}};
    Masked masked;
    qsizetype copied = 0;
    for (const auto& [start, end] : merged(std::move(ranges))) {
        masked.text += QStringView(text).mid(copied, start - copied);
        masked.text += QChar(placeholder);
        masked.pieces.append(text.mid(start, end - start));
        copied = end;
    }
    masked.text += QStringView(text).mid(copied);
    return masked;
}

std::optional<QString> restore(const QString& text, const QStringList& pieces)
{
    if (text.count(QChar(placeholder)) != pieces.size())
        return std::nullopt;
    QString restored;
    qsizetype copied = 0;
    for (const QString& piece : pieces) {
        const qsizetype position = text.indexOf(QChar(placeholder), copied);
        restored += QStringView(text).mid(copied, position - copied);
        restored += piece;
        copied = position + 1;
    }
    restored += QStringView(text).mid(copied);
    return restored;
}

} // namespace ProtectedSpans
