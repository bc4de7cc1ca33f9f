#include "quality/AdvisorText.h"

#include "cli/AdvisorTestMode.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace AdvisorText;

namespace
{

QByteArray fixtureBytes(const QString& name)
{
    QFile file(TestEnvironment::fixture(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

QString fixtureText(const QString& name)
{
    return QString::fromUtf8(fixtureBytes(name));
}

const QStringList dogSounds{"гав", "тяф", "вуф", "аф", "р-гав", "гав-гав"};
const QStringList catSounds{"мяу", "мур", "мяв", "мр-мяу", "мурр", "мя-а-ау"};

} // namespace

TEST(AdvisorPrompt, EveryStyleHasItsTitleAndInstruction)
{
    const QJsonArray expected = QJsonDocument::fromJson(fixtureBytes("advisor/styles.json")).array();
    ASSERT_EQ(expected.size(), 9);
    ASSERT_EQ(styles().size(), 9u);
    for (qsizetype index = 0; index < expected.size(); ++index) {
        const QJsonObject style = expected.at(index).toObject();
        const QString identifier = style.value("identifier").toString();
        EXPECT_EQ(styles().at(index).identifier, identifier);
        EXPECT_EQ(styleTitle(identifier), style.value("title").toString());
        if (style.value("instruction").isString()) {
            EXPECT_EQ(styleInstruction(identifier), style.value("instruction").toString()) << identifier.toStdString();
        }
        EXPECT_EQ(isAnimalStyle(identifier), !style.value("instruction").isString());
    }
    const QString neutral = styleInstruction("neutral");
    EXPECT_EQ(styleInstruction("pirate"), neutral);
    EXPECT_EQ(styleInstruction(""), neutral);
    EXPECT_EQ(styleTitle("pirate"), styleTitle("neutral"));
}

TEST(AdvisorPrompt, JokeStylePromptsAreExact)
{
    EXPECT_EQ(userPrompt("Добрый день! Отправляю отчёт.", "gopnik", 8), fixtureText("advisor/prompt_gopnik_8.txt"));
    EXPECT_EQ(userPrompt("завтра обсудим оплату", "zek", 2), fixtureText("advisor/prompt_zek_2.txt"));
    // The zek example has no space after its arrow; the gopnik one has.
    EXPECT_TRUE(styleInstruction("zek").contains("» \u2192«Здорово"));
    EXPECT_TRUE(styleInstruction("gopnik").contains("» \u2192 «Здарова"));
}

TEST(AdvisorPrompt, ChatRequestIsExactlyTheDocumentedBody)
{
    const QByteArray body = chatRequestBody("ну короче привет это проверка, «как есть» \"да\"", "neutral", 5);
    EXPECT_EQ(body, fixtureBytes("llama-server/advisor_request_neutral_5.json"));

    const QJsonObject request = QJsonDocument::fromJson(body).object();
    EXPECT_EQ(request.keys(), (QStringList{"max_tokens", "messages", "temperature", "top_p"}));
    const QJsonArray messages = request.value("messages").toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0).toObject().value("role").toString(), "system");
    EXPECT_EQ(messages.at(0).toObject().value("content").toString(), systemPrompt());
    EXPECT_EQ(messages.at(1).toObject().value("role").toString(), "user");
    EXPECT_TRUE(messages.at(1).toObject().value("content").toString().endsWith("Фраза: ну короче привет это "
                                                                               "проверка, «как есть» \"да\""));
}

TEST(AdvisorPrompt, PhraseWithControlCharactersStaysValidJson)
{
    const QString phrase = QString("строка\tс табуляцией\nи \\ слэшем %1 %2") + QChar(0x01);
    const QJsonDocument document = QJsonDocument::fromJson(chatRequestBody(phrase, "simple", 3));
    ASSERT_TRUE(document.isObject());
    const QString user = document.object().value("messages").toArray().at(1).toObject().value("content").toString();
    EXPECT_TRUE(user.endsWith(phrase));
    EXPECT_TRUE(user.contains(styleInstruction("simple")));
}

TEST(AdvisorPrompt, IntensityBands)
{
    const auto band = [](qint64 level) { return intensityInstruction(level); };
    EXPECT_EQ(band(3), "Степень вмешательства 3 из 10 — минимальная: исправляй только явные ошибки и "
                       "слова-паразиты, формулировки автора сохраняй почти дословно.");
    EXPECT_EQ(band(-2), "Степень вмешательства -2 из 10 — минимальная: исправляй только явные ошибки и "
                        "слова-паразиты, формулировки автора сохраняй почти дословно.");
    EXPECT_EQ(band(4), "Степень вмешательства 4 из 10 — умеренная: поправь порядок слов и пунктуацию, разбей "
                       "слишком длинные предложения, сохраняя манеру автора.");
    EXPECT_TRUE(band(6).startsWith("Степень вмешательства 6 из 10 — умеренная:"));
    EXPECT_EQ(band(7), "Степень вмешательства 7 из 10 — высокая: свободно перефразируй ради ясности и целевого "
                       "стиля, сохраняя смысл.");
    EXPECT_TRUE(band(9).startsWith("Степень вмешательства 9 из 10 — высокая:"));
    const QString full = "Степень вмешательства 10 из 10 — полностью переработай текст под целевой стиль, "
                         "сохранив смысл и факты.";
    EXPECT_EQ(band(10), full);
    EXPECT_EQ(band(15), full);
}

TEST(AdvisorAnswer, CleanupDropsReasoningBlanksAndOuterQuotes)
{
    EXPECT_EQ(cleanup("<think>\nхм, подумаем\n</think>\n  Привет  "), "Привет");
    EXPECT_EQ(cleanup("<think>a</think>Один<think>b\nc</think> два"), "Один два");
    EXPECT_EQ(cleanup("  \"Привет, мир\"\n"), "Привет, мир");
    EXPECT_EQ(cleanup("«Привет»"), "Привет");
    // Straight quotes first, then the guillemets inside them.
    EXPECT_EQ(cleanup("\"«Привет»\""), "Привет");
    EXPECT_EQ(cleanup("\" Привет \""), "Привет");
    EXPECT_EQ(cleanup("\"\""), "\"\"");
    EXPECT_EQ(cleanup("«»"), "«»");
    EXPECT_EQ(cleanup("\"да\" и \"нет\""), "да\" и \"нет");
    EXPECT_EQ(cleanup("<think>не закрыт"), "<think>не закрыт");
}

TEST(AdvisorAnswer, ParsesScoreAndText)
{
    EXPECT_EQ(parseAdvice("ОЦЕНКА: 4\nТЕКСТ: Добрый день.", "привет"), (Advice{4, "Добрый день.", false}));
    EXPECT_EQ(parseAdvice("<think>…</think>ОЦЕНКА — 5\nТЕКСТ — «Как есть»", "как есть"),
              (Advice{5, "«Как есть»", false}));
    EXPECT_EQ(parseAdvice("  Просто новый текст \n", "старый"), (Advice{std::nullopt, "Просто новый текст", false}));
    EXPECT_EQ(parseAdvice("ОЦЕНКА: 3", "исходная фраза"), (Advice{3, "исходная фраза", false}));
    EXPECT_EQ(parseAdvice("оценка-2 Первая строка\nвторая строка", "x"),
              (Advice{2, "Первая строка\nвторая строка", false}));
    EXPECT_EQ(parseAdvice("текст:  строка один\nстрока два  ", "x"),
              (Advice{std::nullopt, "строка один\nстрока два", false}));
    EXPECT_EQ(parseAdvice("ОЦЕНКА: 9\nТЕКСТ: ", "оригинал"), (Advice{std::nullopt, "оригинал", false}));
    EXPECT_EQ(parseAdvice("", "оригинал"), (Advice{std::nullopt, "оригинал", false}));
    EXPECT_EQ(parseAdvice(" не и спасибо", "x"), (Advice{std::nullopt, "не и спасибо", false}));
}

TEST(AdvisorAnswer, MetaIsJudgedAgainstTheOriginal)
{
    EXPECT_TRUE(looksLikeMeta("К сожалению, я не могу…", "Привет"));
    EXPECT_FALSE(looksLikeMeta("К сожалению, я не могу…", "к сожалению, опоздаю"));
    EXPECT_TRUE(looksLikeMeta("ДАННАЯ ФРАЗА содержит жаргон", "ну чё"));
    EXPECT_TRUE(looksLikeMeta("Как ИИ, я отвечу иначе", "ну"));
    EXPECT_FALSE(looksLikeMeta("Извините за опоздание", "Извините, я опоздал"));
    // ё and е are the same letter here, in both texts.
    EXPECT_FALSE(looksLikeMeta("ЭТА ФРАЗА НЕ годится", "эта фраза нё про то"));
    EXPECT_TRUE(looksLikeMeta("Прошу прощёния", "привет"));
    EXPECT_TRUE(looksLikeMeta("Эта фраза не подходит", "эта фраза"));
    EXPECT_FALSE(looksLikeMeta("Добрый день, коллеги.", "привет всем"));

    EXPECT_TRUE(parseAdvice("ОЦЕНКА: 2\nТЕКСТ: Извините, не могу переписать эту фразу.", "йо").refused);
    EXPECT_FALSE(parseAdvice("ОЦЕНКА: 2\nТЕКСТ: Прошу прощения за задержку.", "сорян, прошу прощения").refused);
}

TEST(AdvisorAnswer, ReadsTheChatAnswerOfTheRealServer)
{
    const Result<Advice> advice = adviceFromAnswer(fixtureBytes("llama-server/chat_1.json"), "привет");
    ASSERT_TRUE(advice.ok());
    EXPECT_EQ(advice.value(), (Advice{std::nullopt, "не и спасибо", false}));
}

TEST(AdvisorAnswer, UnreadableAnswersNameTheirBeginning)
{
    const auto failure = [](const QByteArray& body) {
        const Result<Advice> advice = adviceFromAnswer(body, "x");
        EXPECT_FALSE(advice.ok());
        if (advice.ok())
            return QString();
        EXPECT_EQ(advice.error().code(), 50);
        EXPECT_TRUE(advice.error().isTolvan());
        return advice.error().description();
    };
    const QByteArray serverError = R"({"error":{"code":500,"message":"oops","type":"server_error"}})";
    EXPECT_EQ(failure(serverError), "не удалось разобрать ответ: " + QString::fromUtf8(serverError));
    EXPECT_EQ(failure(""), "не удалось разобрать ответ: ");
    EXPECT_EQ(failure(R"({"choices":[]})"), "не удалось разобрать ответ: {\"choices\":[]}");
    EXPECT_EQ(failure(R"({"choices":[{"message":{"content":5}}]})"),
              "не удалось разобрать ответ: {\"choices\":[{\"message\":{\"content\":5}}]}");
    EXPECT_EQ(failure(R"({"choices":{"message":{"content":"a"}}})"),
              "не удалось разобрать ответ: {\"choices\":{\"message\":{\"content\":\"a\"}}}");
    EXPECT_EQ(failure("[1,2]"), "не удалось разобрать ответ: [1,2]");

    const QByteArray longBody = QByteArray(300, 'x');
    EXPECT_EQ(failure(longBody), "не удалось разобрать ответ: " + QString(200, 'x'));
}

TEST(AdvisorAnswer, BodyPrefixKeepsWholeCharacters)
{
    // "я" is two bytes: 199 bytes of ASCII and then "я" would cut it in half at 200.
    const QByteArray cut = QByteArray(199, 'a') + "яяя";
    EXPECT_EQ(bodyPrefix(cut, 200), QString(199, 'a'));
    const QByteArray whole = QByteArray(198, 'a') + "яяя";
    EXPECT_EQ(bodyPrefix(whole, 200), QString(198, 'a') + "я");
    // A four-byte character cut after two or three bytes.
    EXPECT_EQ(bodyPrefix(QByteArray(198, 'a') + "🐶", 200), QString(198, 'a'));
    EXPECT_EQ(bodyPrefix(QByteArray(197, 'a') + "🐶", 200), QString(197, 'a'));
    EXPECT_EQ(bodyPrefix(QByteArray(196, 'a') + "🐶" + "b", 200), QString(196, 'a') + "🐶");
    EXPECT_EQ(bodyPrefix("короткий", 200), "короткий");
    EXPECT_EQ(bodyPrefix("\xFF\xFEgarbage", 200), "");
}

TEST(AnimalTranslator, KeepsEverythingButTheWords)
{
    const QString dog = animalTranslate("Привет, мир!", false);
    // h("мир") = ((7·31 + 1084)·31 + 1080)·31 + 1088 mod 99 991 = 84 937, 84 937 mod 6 = 1.
    EXPECT_TRUE(dog.endsWith(", тяф!"));
    const QString first = dog.left(dog.indexOf(','));
    EXPECT_TRUE(first.at(0).isUpper());
    EXPECT_TRUE(dogSounds.contains(first.toLower()));
    EXPECT_EQ(animalTranslate("Привет, мир!", false), dog);
    EXPECT_EQ(animalTranslate("", false), "");
    EXPECT_EQ(animalTranslate(" \n— !?", true), " \n— !?");
    EXPECT_EQ(animalTranslate("мир\nмир  мир", false), "тяф\nтяф  тяф");
    EXPECT_EQ(animalTranslate("мир", true), "мур");
}

TEST(AnimalTranslator, LongWordsGetTwoSoundsAndCapitalsStay)
{
    // Six letters: one sound; seven: two sounds joined by a hyphen, both from the same list.
    EXPECT_EQ(animalTranslate("собака", false), "р-гав");
    EXPECT_EQ(animalTranslate("собачка", false), "гав-гав-гав");
    EXPECT_EQ(animalTranslate("собачка", true), "мяу-мя-а-ау");
    EXPECT_EQ(animalTranslate("Телефон", false), "Аф-аф");
    EXPECT_EQ(animalTranslate("Кот", true), "Мя-а-ау");
    // Digits make words too.
    EXPECT_EQ(animalTranslate("2026 год", true).left(7), "мр-мяу ");

    const QString cat = animalTranslate("Длинноеслово кот", true);
    const QStringList words = cat.split(' ');
    ASSERT_EQ(words.size(), 2);
    EXPECT_TRUE(words.at(0).at(0).isUpper());
    bool split = false;
    for (const QString& first : catSounds) {
        for (const QString& second : catSounds) {
            const QString sound = first + "-" + second;
            split = split || words.at(0) == sound.left(1).toUpper() + sound.mid(1);
        }
    }
    EXPECT_TRUE(split) << cat.toStdString();
    EXPECT_TRUE(catSounds.contains(words.at(1)));
}

TEST(AdvisorTestArguments, IntensityParsing)
{
    const auto intensity = [](const QStringList& tail) {
        return AdvisorTestMode::intensityArgument(QStringList{"tolvan", "--advisor-test", "текст"} + tail);
    };
    EXPECT_EQ(intensity({}), 5);
    EXPECT_EQ(intensity({"0"}), 0);
    EXPECT_EQ(intensity({"+7", "legal"}), 7);
    EXPECT_EQ(intensity({"-2"}), -2);
    EXPECT_EQ(intensity({"−3"}), -3);
    EXPECT_EQ(intensity({"15"}), 15);
    EXPECT_EQ(intensity({""}), 5);
    EXPECT_EQ(intensity({"abc"}), 5);
    EXPECT_EQ(intensity({" 3"}), 5);
    EXPECT_EQ(intensity({"3.5"}), 5);
    EXPECT_EQ(intensity({"+"}), 5);
    EXPECT_EQ(intensity({"99999999999999999999"}), 5);
}
