#include "quality/SpeechRules.h"

namespace SpeechRules
{

const std::vector<PhrasingRule>& phrasingRules()
{
    static const std::vector<PhrasingRule> rules = {
        {QStringLiteral("\\bвообщем\\b"), QStringLiteral("ошибка: правильно «в общем»"), QStringLiteral("в общем")},
        {QStringLiteral("\\bболее\\s+\\p{L}+(ее|ей|ше)\\b"),
         QStringLiteral("двойное сравнение — оставьте одно: «лучше», а не «более лучше»"), std::nullopt},
        {QStringLiteral("\\bсамый\\s+лучший\\b"), QStringLiteral("плеоназм: достаточно «лучший»"), std::nullopt},
        {QStringLiteral("\\bоплат\\p{L}*\\s+за\\b"),
         QStringLiteral("правильно: «оплатить работу» или «заплатить за работу»"), std::nullopt},
        {QStringLiteral("\\bсогласно\\s+(договора|приказа|закона|плана|графика|письма|распоряжения|регламента|"
                        "счёта|счета)\\b"),
         QStringLiteral("«согласно» требует дательного падежа: «согласно договору»"), std::nullopt},
        {QStringLiteral("\\bимеет\\s+место\\s+быть\\b"), QStringLiteral("канцеляризм: «имеет место» или просто «есть»"),
         std::nullopt},
        {QStringLiteral("\\bв\\s+данный\\s+момент\\s+времени\\b"), QStringLiteral("проще: «сейчас»"), std::nullopt},
        {QStringLiteral("\\bкрайний\\s+раз\\b"), QStringLiteral("литературная норма: «последний раз»"), std::nullopt},
        {QStringLiteral("\\b(ихний|ихняя|ихние|ихнего|евонный)\\b"), QStringLiteral("просторечие: «их»"), std::nullopt},
        {QStringLiteral("\\bложить\\b"), QStringLiteral("просторечие: «класть»"), std::nullopt},
    };
    return rules;
}

const QStringList& fillers()
{
    static const QStringList words = {
        QStringLiteral("собственно говоря"),
        QStringLiteral("по большому счёту"),
        QStringLiteral("это самое"),
        QStringLiteral("так сказать"),
        QStringLiteral("скажем так"),
        QStringLiteral("в общем-то"),
        QStringLiteral("ну вот"),
        QStringLiteral("как бы"),
        QStringLiteral("в общем"),
        QStringLiteral("ну"),
        QStringLiteral("вот"),
        QStringLiteral("значит"),
        QStringLiteral("типа"),
        QStringLiteral("короче"),
        QStringLiteral("собственно"),
        QStringLiteral("блин"),
        QStringLiteral("эм"),
        QStringLiteral("э-э"),
        QStringLiteral("м-м"),
    };
    return words;
}

// A filler counts only where it stands apart, set off by commas, sentence ends or a line break.
const std::vector<Regex>& fillerPatterns()
{
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> compiled;
        for (const QString& filler : fillers())
            compiled.emplace_back(QStringLiteral("(?:^|[.!?…]\\s+|,\\s+|\\n)(") + Regex::escape(filler) +
                                      QStringLiteral(")(?=\\s*[,.!?…])"),
                                  Regex::CaseInsensitive);
        return compiled;
    }();
    return patterns;
}

const std::vector<Regex>& phrasingPatterns()
{
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> compiled;
        for (const PhrasingRule& rule : phrasingRules())
            compiled.emplace_back(rule.pattern, Regex::CaseInsensitive);
        return compiled;
    }();
    return patterns;
}

bool isSentenceEnd(char32_t character)
{
    return character == u'.' || character == u'!' || character == u'?' || character == u'…' || character == u'\n';
}

} // namespace SpeechRules
