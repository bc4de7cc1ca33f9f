#include "text/AutoFormatter.h"

#include <gtest/gtest.h>

#include <limits>

TEST(AutoFormatter, StripsOrdinalWords)
{
    const std::pair<QString, std::optional<QString>> cases[] = {{"Первое. Подготовить отчёт.", "Подготовить отчёт."},
                                                                {"В-четвёртых — отдохнуть", "Отдохнуть"},
                                                                {"ВО-ВТОРЫХ: сыр", "Сыр"},
                                                                {"Во-первых.", {}},
                                                                {"Во-первых,", {}},
                                                                {"Во-первых, я", {}},
                                                                {"Первоеблюдо", {}},
                                                                {"Десятое, нет", {}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(AutoFormatter::stripOrdinal(text), expected) << text.toStdString();
}

TEST(AutoFormatter, ListsHeadingsAndParagraphsFromTheWordsAndThePauses)
{
    // Phrases as "text start~end" in milliseconds ("min" and "max" near the ends of the range) joined by " | ";
    // a macro trigger; the annotated text, or none when the dictation is left alone.
    const std::tuple<QString, QString, const char*> cases[] = {
        // Short, single-phrase or without a list, a heading or a long pause: left alone.
        {"Итоги. 0~1000 | Первая часть закончена. 3000~4900", "", nullptr},
        {"Во-первых, купить молоко. 0~9000", "", nullptr},
        {"", "", nullptr},
        {"Сначала одно, потом другое. 0~3000 | И ещё немного. 3500~6000", "", nullptr},
        // Ordinal adverbs, a colon or a run of infinitives make a list.
        {"Во-первых, купить молоко. 0~2500 | Во-вторых, позвонить маме. 2700~5200", "",
         "Нумерованный список. Купить молоко. Позвонить маме. Конец списка."},
        // Without final punctuation and with a lower-case continuation the two pieces are one sentence.
        {"Во-первых, купить молоко 0~2500 | во-вторых, позвонить маме 2700~5200", "", nullptr},
        {"Во-первых, купить молоко. 0~2500 | Потом позвонить маме. 2700~5200", "", nullptr},
        {"Нужно купить: 0~1500 | Хлеб 1800~2300 | Молоко 2600~3100 | Сыр 3400~5200", "",
         "Нужно купить: Список. Хлеб. Молоко. Сыр. Конец списка."},
        {"Нужно купить: 0~1500 | Хлеб 1800~2300 | Молоко 2600~3100 | Сыр 4200~5200", "",
         "Нужно купить: Список. Хлеб. Молоко. Конец списка. Сыр."},
        // A pause of 1.1 s right after the first item leaves a list of one: none is made, the pause is a paragraph.
        {"Нужно купить: 0~1500 | Хлеб. 1800~2300 | Молоко. 3400~4100 | Сыр. 4200~5200", "",
         "Нужно купить: Хлеб. Новый абзац. Молоко. Сыр."},
        {"План такой. 0~1000 | Купить билеты. 1500~2500 | Забронировать отель. 2800~4000 | Испечь торт. 4300~5400", "",
         "План такой. Список. Купить билеты. Забронировать отель. Испечь торт. Конец списка."},
        // One word is not a task, and a long pause ends the run.
        {"Купить. 0~1000 | Забронировать. 1500~2500 | Ладно. 3000~5400", "", nullptr},
        {"Купить билеты. 0~1000 | Забронировать отель. 2100~3000 | Всё. 3100~5400", "",
         "Купить билеты. Новый абзац. Забронировать отель. Всё."},
        // A short first phrase before a pause of 1.3 s is a heading; not after 1.2 s, with a comma, a conjunction
        // first, or more than five words. Other long pauses (over 1 s) separate sentences.
        {"Итоги недели. 0~1200 | Мы закрыли две задачи. 2500~6000", "",
         "Заголовок: Итоги недели. Мы закрыли две задачи."},
        {"Итоги недели. 0~1200 | Мы закрыли две задачи. 2400~6000", "",
         "Итоги недели. Новый абзац. Мы закрыли две задачи."},
        {"Итоги, кратко. 0~1200 | Мы закрыли две задачи. 2500~6000", "",
         "Итоги, кратко. Новый абзац. Мы закрыли две задачи."},
        {"И вот итоги. 0~1200 | Мы закрыли две задачи. 2500~6000", "",
         "И вот итоги. Новый абзац. Мы закрыли две задачи."},
        {"Вот что мы узнали за неделю. 0~1200 | Мы закрыли две задачи. 2500~6000", "",
         "Вот что мы узнали за неделю. Новый абзац. Мы закрыли две задачи."},
        {"Первая часть закончена, переходим дальше. 0~2000 | Теперь о втором. 3100~5500", "",
         "Первая часть закончена, переходим дальше. Новый абзац. Теперь о втором."},
        {"Первая часть закончена, переходим дальше. 0~2000 | Теперь о втором. 3000~5500", "", nullptr},
        // Joined first: no final punctuation and a lower-case continuation.
        {"Мы обсудили, как и договаривались 0~2000 | план на неделю. 4000~6000", "", nullptr},
        {"Мы обсудили 0~2000 | план на неделю 2100~3000 | Потом ушли. 4400~6000", "",
         "Заголовок: Мы обсудили план на неделю. Потом ушли."},
        // Commands and macro triggers are neither merged with their neighbours nor marked up.
        {"Итоги 0~1000 | новый абзац 1100~2000 | дальше текст. 3500~6000", "", "Итоги. новый абзац. дальше текст."},
        {"Подпись 0~1000 | Текст письма. 2500~6000", "подпись", "Подпись. Новый абзац. Текст письма."},
        {"Подпись 0~1000 | Текст письма. 2500~6000", "", "Заголовок: Подпись. Текст письма."},
        {"Купить билеты. 0~1000 | Список 1100~2000 | Забронировать отель. 2100~5400", "список", nullptr},
        // Whatever times a recognizer reports, spans and pauses do not wrap around.
        {"Во-первых, купить молоко. min~2500 | Во-вторых, позвонить маме. 2700~max", "",
         "Нумерованный список. Купить молоко. Позвонить маме. Конец списка."},
        {"Первая часть закончена, переходим дальше. 0~min | Теперь о втором. max~max", "",
         "Первая часть закончена, переходим дальше. Новый абзац. Теперь о втором."},
    };
    const auto time = [](const QString& value) {
        return value == "min"   ? std::numeric_limits<int64_t>::min() + 1
               : value == "max" ? std::numeric_limits<int64_t>::max() - 1
                                : value.toLongLong();
    };
    for (const auto& [phrases, trigger, expected] : cases) {
        std::vector<SpeechSegment> segments;
        for (const QString& phrase : phrases.split(" | ", Qt::SkipEmptyParts)) {
            const QStringList times = phrase.section(u' ', -1).split(u'~');
            segments.push_back({phrase.section(u' ', 0, -2), time(times.at(0)), time(times.at(1)), 0, 0});
        }
        const QSet<QString> triggers = trigger.isEmpty() ? QSet<QString>() : QSet<QString>{trigger};
        EXPECT_EQ(AutoFormatter::annotate(segments, triggers),
                  expected ? std::optional<QString>(expected) : std::nullopt)
            << phrases.toStdString();
    }
}
