#include "text/SpokenCommands.h"

namespace SpokenCommands
{

const QSet<QString>& paragraph()
{
    static const QSet<QString> commands{QStringLiteral("новый абзац"), QStringLiteral("абзац"),
                                        QStringLiteral("с красной строки"), QStringLiteral("new paragraph")};
    return commands;
}

const QSet<QString>& lineBreak()
{
    static const QSet<QString> commands{QStringLiteral("новая строка"), QStringLiteral("с новой строки"),
                                        QStringLiteral("перенос строки"), QStringLiteral("new line")};
    return commands;
}

const QSet<QString>& bulletList()
{
    static const QSet<QString> commands{QStringLiteral("список"), QStringLiteral("маркированный список"),
                                        QStringLiteral("bullet list"), QStringLiteral("list")};
    return commands;
}

const QSet<QString>& numberedList()
{
    static const QSet<QString> commands{QStringLiteral("нумерованный список"), QStringLiteral("numbered list")};
    return commands;
}

const QSet<QString>& endList()
{
    static const QSet<QString> commands{QStringLiteral("конец списка"), QStringLiteral("закончить список"),
                                        QStringLiteral("end of list"), QStringLiteral("end list")};
    return commands;
}

const QSet<QString>& strike()
{
    static const QSet<QString> commands{QStringLiteral("зачеркни"), QStringLiteral("удали последнюю фразу"),
                                        QStringLiteral("scratch that")};
    return commands;
}

const QSet<QString>& itemWords()
{
    static const QSet<QString> words{QStringLiteral("пункт"), QStringLiteral("следующий пункт"),
                                     QStringLiteral("item")};
    return words;
}

const std::vector<std::pair<QString, int>>& headingWords()
{
    static const std::vector<std::pair<QString, int>> words{
        {QStringLiteral("большой заголовок"), 1}, {QStringLiteral("главный заголовок"), 1},
        {QStringLiteral("заголовок"), 2},         {QStringLiteral("heading"), 2},
        {QStringLiteral("подзаголовок"), 3},      {QStringLiteral("subheading"), 3},
    };
    return words;
}

std::optional<int> headingLevel(const QString& key)
{
    for (const auto& [word, level] : headingWords()) {
        if (word == key)
            return level;
    }
    return std::nullopt;
}

bool isStructural(const QString& key)
{
    return paragraph().contains(key) || lineBreak().contains(key) || bulletList().contains(key) ||
           numberedList().contains(key) || endList().contains(key) || strike().contains(key) ||
           headingLevel(key).has_value();
}

} // namespace SpokenCommands
