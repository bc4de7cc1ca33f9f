#include "text/AutoFormatter.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{

struct Phrase
{
    const char16_t* text;
    int64_t startMs;
    int64_t endMs;
};

std::vector<SpeechSegment> segments(std::initializer_list<Phrase> phrases)
{
    std::vector<SpeechSegment> list;
    for (const Phrase& phrase : phrases)
        list.push_back({QString::fromUtf16(phrase.text), phrase.startMs, phrase.endMs, 0, 0});
    return list;
}

std::optional<QString> annotated(std::initializer_list<Phrase> phrases, const QSet<QString>& triggers = {})
{
    return AutoFormatter::annotate(segments(phrases), triggers);
}

} // namespace

TEST(AutoFormatter, ShortOrSinglePhraseDictationsAreLeftAlone)
{
    EXPECT_FALSE(annotated({{u"Итоги.", 0, 1000}, {u"Первая часть закончена.", 3000, 4900}}));
    EXPECT_FALSE(annotated({{u"Во-первых, купить молоко.", 0, 9000}}));
    EXPECT_FALSE(annotated({}));
    // Long enough, but nothing to mark up: no list, no heading, no long pause.
    EXPECT_FALSE(annotated({{u"Сначала одно, потом другое.", 0, 3000}, {u"И ещё немного.", 3500, 6000}}));
}

TEST(AutoFormatter, StripsOrdinalWords)
{
    EXPECT_EQ(AutoFormatter::stripOrdinal(QStringLiteral("Первое. Подготовить отчёт.")),
              QStringLiteral("Подготовить отчёт."));
    EXPECT_EQ(AutoFormatter::stripOrdinal(QStringLiteral("В-четвёртых — отдохнуть")), QStringLiteral("Отдохнуть"));
    EXPECT_EQ(AutoFormatter::stripOrdinal(QStringLiteral("ВО-ВТОРЫХ: сыр")), QStringLiteral("Сыр"));
    for (const char16_t* text : {u"Во-первых.", u"Во-первых,", u"Во-первых, я", u"Первоеблюдо", u"Десятое, нет"})
        EXPECT_FALSE(AutoFormatter::stripOrdinal(QString::fromUtf16(text))) << QString::fromUtf16(text).toStdString();
}

TEST(AutoFormatter, OrdinalAdverbsAColonOrRunsOfInfinitivesMakeAList)
{
    EXPECT_EQ(annotated({{u"Во-первых, купить молоко.", 0, 2500}, {u"Во-вторых, позвонить маме.", 2700, 5200}}),
              QStringLiteral("Нумерованный список. Купить молоко. Позвонить маме. Конец списка."));
    // Without final punctuation and with a lower-case continuation the two pieces are one sentence.
    EXPECT_FALSE(annotated({{u"Во-первых, купить молоко", 0, 2500}, {u"во-вторых, позвонить маме", 2700, 5200}}));
    EXPECT_FALSE(annotated({{u"Во-первых, купить молоко.", 0, 2500}, {u"Потом позвонить маме.", 2700, 5200}}));
    EXPECT_EQ(
        annotated({{u"Нужно купить:", 0, 1500}, {u"Хлеб", 1800, 2300}, {u"Молоко", 2600, 3100}, {u"Сыр", 3400, 5200}}),
        QStringLiteral("Нужно купить: Список. Хлеб. Молоко. Сыр. Конец списка."));
    EXPECT_EQ(
        annotated({{u"Нужно купить:", 0, 1500}, {u"Хлеб", 1800, 2300}, {u"Молоко", 2600, 3100}, {u"Сыр", 4200, 5200}}),
        QStringLiteral("Нужно купить: Список. Хлеб. Молоко. Конец списка. Сыр."));
    // A pause of 1.1 s right after the first item leaves a list of one: none is made, the pause is a paragraph.
    EXPECT_EQ(
        annotated(
            {{u"Нужно купить:", 0, 1500}, {u"Хлеб.", 1800, 2300}, {u"Молоко.", 3400, 4100}, {u"Сыр.", 4200, 5200}}),
        QStringLiteral("Нужно купить: Хлеб. Новый абзац. Молоко. Сыр."));
    EXPECT_EQ(annotated({{u"План такой.", 0, 1000},
                         {u"Купить билеты.", 1500, 2500},
                         {u"Забронировать отель.", 2800, 4000},
                         {u"Испечь торт.", 4300, 5400}}),
              QStringLiteral("План такой. Список. Купить билеты. Забронировать отель. Испечь торт. Конец списка."));
    // One word is not a task, and a long pause ends the run.
    EXPECT_FALSE(annotated({{u"Купить.", 0, 1000}, {u"Забронировать.", 1500, 2500}, {u"Ладно.", 3000, 5400}}));
    EXPECT_EQ(annotated({{u"Купить билеты.", 0, 1000}, {u"Забронировать отель.", 2100, 3000}, {u"Всё.", 3100, 5400}}),
              QStringLiteral("Купить билеты. Новый абзац. Забронировать отель. Всё."));
}

TEST(AutoFormatter, AShortFirstPhraseBeforeALongPauseIsAHeadingOtherLongPausesSeparateSentences)
{
    EXPECT_EQ(annotated({{u"Итоги недели.", 0, 1200}, {u"Мы закрыли две задачи.", 2500, 6000}}),
              QStringLiteral("Заголовок: Итоги недели. Мы закрыли две задачи."));
    // Not with a pause of 1.2 s, a comma, a conjunction first, or more than five words.
    EXPECT_EQ(annotated({{u"Итоги недели.", 0, 1200}, {u"Мы закрыли две задачи.", 2400, 6000}}),
              QStringLiteral("Итоги недели. Новый абзац. Мы закрыли две задачи."));
    EXPECT_EQ(annotated({{u"Итоги, кратко.", 0, 1200}, {u"Мы закрыли две задачи.", 2500, 6000}}),
              QStringLiteral("Итоги, кратко. Новый абзац. Мы закрыли две задачи."));
    EXPECT_EQ(annotated({{u"И вот итоги.", 0, 1200}, {u"Мы закрыли две задачи.", 2500, 6000}}),
              QStringLiteral("И вот итоги. Новый абзац. Мы закрыли две задачи."));
    EXPECT_EQ(annotated({{u"Вот что мы узнали за неделю.", 0, 1200}, {u"Мы закрыли две задачи.", 2500, 6000}}),
              QStringLiteral("Вот что мы узнали за неделю. Новый абзац. Мы закрыли две задачи."));
    EXPECT_EQ(annotated({{u"Первая часть закончена, переходим дальше.", 0, 2000}, {u"Теперь о втором.", 3100, 5500}}),
              QStringLiteral("Первая часть закончена, переходим дальше. Новый абзац. Теперь о втором."));
    EXPECT_FALSE(
        annotated({{u"Первая часть закончена, переходим дальше.", 0, 2000}, {u"Теперь о втором.", 3000, 5500}}));
    // Joined first: no final punctuation and a lower-case continuation.
    EXPECT_FALSE(annotated({{u"Мы обсудили, как и договаривались", 0, 2000}, {u"план на неделю.", 4000, 6000}}));
    EXPECT_EQ(annotated({{u"Мы обсудили", 0, 2000}, {u"план на неделю", 2100, 3000}, {u"Потом ушли.", 4400, 6000}}),
              QStringLiteral("Заголовок: Мы обсудили план на неделю. Потом ушли."));
}

TEST(AutoFormatter, CommandsAndMacroTriggersAreNeverTouched)
{
    // The command is neither merged with its neighbours nor taken as a paragraph end.
    EXPECT_EQ(annotated({{u"Итоги", 0, 1000}, {u"новый абзац", 1100, 2000}, {u"дальше текст.", 3500, 6000}}),
              QStringLiteral("Итоги. новый абзац. дальше текст."));
    EXPECT_EQ(annotated({{u"Подпись", 0, 1000}, {u"Текст письма.", 2500, 6000}}, {QStringLiteral("подпись")}),
              QStringLiteral("Подпись. Новый абзац. Текст письма."));
    EXPECT_EQ(annotated({{u"Подпись", 0, 1000}, {u"Текст письма.", 2500, 6000}}),
              QStringLiteral("Заголовок: Подпись. Текст письма."));
    EXPECT_FALSE(
        annotated({{u"Купить билеты.", 0, 1000}, {u"Список", 1100, 2000}, {u"Забронировать отель.", 2100, 5400}},
                  {QStringLiteral("список")}));
}

TEST(AutoFormatter, TimesAtTheEndsOfTheRangeAreStillALongDictation)
{
    // Whatever a recognizer reports: the span from the first to the last piece does not wrap around.
    constexpr int64_t earliest = std::numeric_limits<int64_t>::min() + 1;
    constexpr int64_t latest = std::numeric_limits<int64_t>::max() - 1;
    EXPECT_EQ(
        annotated({{u"Во-первых, купить молоко.", earliest, 2500}, {u"Во-вторых, позвонить маме.", 2700, latest}}),
        QStringLiteral("Нумерованный список. Купить молоко. Позвонить маме. Конец списка."));
    // A pause from the far past to the far future is a long one.
    EXPECT_EQ(
        annotated({{u"Первая часть закончена, переходим дальше.", 0, earliest}, {u"Теперь о втором.", latest, latest}}),
        QStringLiteral("Первая часть закончена, переходим дальше. Новый абзац. Теперь о втором."));
}
