#include "text/TextFormatter.h"

#include "text/CodePoints.h"
#include "text/MacroStore.h"
#include "text/SpokenCommands.h"
#include "text/TextKeys.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace
{

using TextFormatter::OutputFormat;

// Tried in this order: the longer phrase first.
const std::array<QString, 3>& itemPrefixes()
{
    static const std::array<QString, 3> prefixes{QStringLiteral("следующий пункт"), QStringLiteral("пункт"),
                                                 QStringLiteral("item")};
    return prefixes;
}

bool isSeparator(QChar c)
{
    return c == u':' || c == u',' || c == u'—' || c == u'–' || c == u'-';
}

bool isTerminator(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'…' || c == u':';
}

bool continuesTerminatorRun(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'…';
}

bool isSentenceSpace(QChar c)
{
    return c == u' ' || c == u'\n' || c == u'\t';
}

// The text after a prefix of `length` units, trimmed, with one separator character dropped.
QString restAfter(const QString& text, qsizetype length)
{
    QString rest = text.mid(length).trimmed();
    if (!rest.isEmpty() && isSeparator(rest.front()))
        rest = rest.mid(1).trimmed();
    return rest;
}

struct HeadingWithText
{
    int level;
    QString text;
};

// "Заголовок: Итоги" — a heading word, a separator and a non-empty rest.
std::optional<HeadingWithText> headingPrefix(const QString& sentence)
{
    const QString folded = TextKeys::foldInPlace(sentence);
    for (const auto& [word, level] : SpokenCommands::headingWords()) {
        if (!folded.startsWith(word))
            continue;
        const QString afterWord = sentence.mid(word.size()).trimmed();
        if (afterWord.isEmpty() || !isSeparator(afterWord.front()))
            continue;
        const QString rest = afterWord.mid(1).trimmed();
        if (!rest.isEmpty())
            return HeadingWithText{level, rest};
    }
    return std::nullopt;
}

// "Пункт: купить молоко" inside a list. The item word must end there: "Пунктуация" is an ordinary item.
std::optional<QString> itemPrefix(const QString& sentence)
{
    const QString folded = TextKeys::foldInPlace(sentence);
    const auto prefix = std::find_if(itemPrefixes().begin(), itemPrefixes().end(),
                                     [&](const QString& candidate) { return folded.startsWith(candidate); });
    if (prefix == itemPrefixes().end())
        return std::nullopt;
    if (sentence.size() > prefix->size() && QChar::isLetterOrNumber(CodePoints::at(sentence, prefix->size())))
        return std::nullopt;
    const QString rest = restAfter(sentence, prefix->size());
    if (rest.isEmpty())
        return std::nullopt;
    return CodePoints::upperFirst(rest);
}

enum class ListMode
{
    none,
    bullet,
    numbered,
};

struct Block
{
    enum class Kind
    {
        paragraph,
        heading,
        bulletList,
        numberedList,
        raw,
    };
    Kind kind;
    QString text;
    int level = 0;
    QStringList items;
};

QString render(const Block& block, OutputFormat format)
{
    switch (block.kind) {
    case Block::Kind::paragraph:
    case Block::Kind::raw:
        return block.text;
    case Block::Kind::heading:
        return format == OutputFormat::markdown ? QString(block.level, u'#') + u' ' + block.text : block.text;
    case Block::Kind::bulletList: {
        const QString marker = format == OutputFormat::markdown ? QStringLiteral("- ") : QStringLiteral("— ");
        QStringList lines;
        for (const QString& item : block.items)
            lines.append(marker + item);
        return lines.join(u'\n');
    }
    case Block::Kind::numberedList: {
        QStringList lines;
        for (qsizetype index = 0; index < block.items.size(); ++index)
            lines.append(QStringLiteral("%1. ").arg(index + 1) + block.items.at(index));
        return lines.join(u'\n');
    }
    }
    return {};
}

class Formatter
{
public:
    explicit Formatter(const TextFormatter::Config& config) : config_(config) {}

    void handle(const TextFormatter::Sentence& said)
    {
        // The writer's line feeds: one breaks the line, two end the paragraph. In a list each sentence is an item
        // on a line of its own anyway.
        if (said.lineFeedsBefore > 0 && listMode_ == ListMode::none) {
            if (said.lineFeedsBefore == 1)
                breakLine();
            else
                flushParagraph();
        }
        const QString sentence = said.text.trimmed();
        if (sentence.isEmpty())
            return;
        const QString key = TextKeys::normalize(sentence);
        if (key.isEmpty())
            return;
        if (SpokenCommands::strike().contains(key)) {
            strikeLast();
            return;
        }
        State before = state();
        if (handleMacro(key)) {
            taken_.push_back(std::move(before));
            return;
        }
        if (handleCommand(key))
            return;
        taken_.push_back(std::move(before));
        if (const auto heading = headingPrefix(sentence)) {
            closeParagraphOrList();
            blocks_.push_back({Block::Kind::heading, TextFormatter::headingText(heading->text), heading->level, {}});
            pendingHeading_.reset();
            return;
        }
        if (listMode_ != ListMode::none) {
            if (const auto item = itemPrefix(sentence)) {
                items_.append(*item);
                return;
            }
        }
        addOrdinarySentence(CodePoints::upperFirst(sentence));
    }

    QString result()
    {
        flushParagraph();
        flushList();
        QStringList rendered;
        for (const Block& block : blocks_)
            rendered.append(render(block, config_.format));
        return rendered.join(QStringLiteral("\n\n"));
    }

private:
    // Everything the text so far is made of.
    struct State
    {
        QString paragraph;
        std::vector<Block> blocks;
        ListMode listMode = ListMode::none;
        QStringList items;
        std::optional<int> pendingHeading;
    };

    State state() const { return {paragraph_, blocks_, listMode_, items_, pendingHeading_}; }

    // The text as it was before its last sentence, with the commands said since; again for the one before.
    void strikeLast()
    {
        if (taken_.empty())
            return;
        State& before = taken_.back();
        paragraph_ = std::move(before.paragraph);
        blocks_ = std::move(before.blocks);
        listMode_ = before.listMode;
        items_ = std::move(before.items);
        pendingHeading_ = before.pendingHeading;
        taken_.pop_back();
    }

    bool handleMacro(const QString& key)
    {
        if (config_.macros.isEmpty())
            return false;
        const auto macro = config_.macros.constFind(key);
        if (macro == config_.macros.constEnd())
            return false;
        flushParagraph();
        flushList();
        blocks_.push_back({Block::Kind::raw, MacroStore::substitutePlaceholders(*macro), 0, {}});
        pendingHeading_.reset();
        return true;
    }

    bool handleCommand(const QString& key)
    {
        if (SpokenCommands::paragraph().contains(key)) {
            if (listMode_ == ListMode::none)
                flushParagraph();
            else
                flushList();
        } else if (SpokenCommands::lineBreak().contains(key)) {
            breakLine();
        } else if (SpokenCommands::bulletList().contains(key) || SpokenCommands::numberedList().contains(key)) {
            flushParagraph();
            flushList();
            pendingHeading_.reset();
            listMode_ = SpokenCommands::bulletList().contains(key) ? ListMode::bullet : ListMode::numbered;
        } else if (SpokenCommands::endList().contains(key)) {
            flushList();
        } else if (listMode_ != ListMode::none && SpokenCommands::itemWords().contains(key)) {
            // Every sentence in a list is an item anyway.
        } else if (const auto level = SpokenCommands::headingLevel(key)) {
            pendingHeading_ = level;
        } else {
            return false;
        }
        return true;
    }

    void breakLine()
    {
        if (listMode_ == ListMode::none) {
            if (!paragraph_.isEmpty() && !paragraph_.endsWith(u'\n'))
                paragraph_ += u'\n';
        } else if (!items_.isEmpty()) {
            items_.last() += u'\n';
        }
    }

    void addOrdinarySentence(const QString& display)
    {
        if (pendingHeading_) {
            closeParagraphOrList();
            blocks_.push_back({Block::Kind::heading, TextFormatter::headingText(display), *pendingHeading_, {}});
        } else if (listMode_ == ListMode::none) {
            if (!paragraph_.isEmpty() && !paragraph_.endsWith(u'\n'))
                paragraph_ += u' ';
            paragraph_ += display;
        } else {
            items_.append(display);
        }
        pendingHeading_.reset();
    }

    void closeParagraphOrList()
    {
        flushParagraph();
        if (listMode_ != ListMode::none)
            flushList();
    }

    void flushParagraph()
    {
        const QString text = paragraph_.trimmed();
        if (!text.isEmpty())
            blocks_.push_back({Block::Kind::paragraph, text, 0, {}});
        paragraph_.clear();
    }

    void flushList()
    {
        if (listMode_ != ListMode::none && !items_.isEmpty())
            blocks_.push_back(
                {listMode_ == ListMode::bullet ? Block::Kind::bulletList : Block::Kind::numberedList, {}, 0, items_});
        items_.clear();
        listMode_ = ListMode::none;
    }

    const TextFormatter::Config& config_;
    QString paragraph_;
    std::vector<Block> blocks_;
    ListMode listMode_ = ListMode::none;
    QStringList items_;
    std::optional<int> pendingHeading_;
    // The state before each sentence that added to the text, the last one last.
    std::vector<State> taken_;
};

} // namespace

namespace TextFormatter
{

OutputFormat outputFormatNamed(const QString& name)
{
    return name == QLatin1String("plain") ? OutputFormat::plain : OutputFormat::markdown;
}

QString process(const QString& text, const Config& config)
{
    Formatter formatter(config);
    for (const Sentence& sentence : splitSentences(text))
        formatter.handle(sentence);
    return formatter.result();
}

QString capitalizeFirstLetter(const QString& text)
{
    return CodePoints::startsWithLower(text) ? CodePoints::upperFirst(text) : text;
}

std::vector<Sentence> splitSentences(const QString& text)
{
    std::vector<Sentence> sentences;
    const qsizetype size = text.size();
    qsizetype start = 0;
    qsizetype position = 0;
    int lineFeeds = 0;
    while (position < size) {
        if (!isTerminator(text.at(position++)))
            continue;
        while (position < size && continuesTerminatorRun(text.at(position)))
            ++position;
        qsizetype next = position;
        while (next < size && isSentenceSpace(text.at(next)))
            ++next;
        if (next == size) {
            sentences.push_back({text.mid(start, position - start), lineFeeds});
            return sentences;
        }
        if (next > position && CodePoints::startsWithUpper(QStringView(text).mid(next))) {
            sentences.push_back({text.mid(start, position - start), lineFeeds});
            lineFeeds =
                static_cast<int>(std::min<qsizetype>(QStringView(text).mid(position, next - position).count(u'\n'), 2));
            start = next;
            position = next;
        }
    }
    const QString rest = text.mid(start).trimmed();
    if (!rest.isEmpty())
        sentences.push_back({rest, lineFeeds});
    return sentences;
}

QString headingText(const QString& text)
{
    QString heading = CodePoints::upperFirst(text.trimmed());
    while (heading.endsWith(u'.'))
        heading = heading.chopped(1).trimmed();
    return heading;
}

} // namespace TextFormatter
