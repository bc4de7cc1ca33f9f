#include "quality/AdvisorText.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace AdvisorText;

namespace
{

QByteArray fixture(const QString& name)
{
    const QByteArray bytes = TestFiles::read(TestEnvironment::fixture(name));
    EXPECT_FALSE(bytes.isEmpty()) << name.toStdString();
    return bytes;
}

} // namespace

TEST(AdvisorPrompt, EveryStyleHasItsTitleAndInstruction)
{
    const QJsonArray expected = QJsonDocument::fromJson(fixture("advisor/styles.json")).array();
    ASSERT_EQ(static_cast<size_t>(expected.size()), styles().size());
    for (qsizetype index = 0; index < expected.size(); ++index) {
        const QJsonObject style = expected.at(index).toObject();
        const QString identifier = style.value("identifier").toString();
        SCOPED_TRACE(identifier.toStdString());
        EXPECT_EQ(styles().at(index).identifier, identifier);
        EXPECT_EQ(styleTitle(identifier), style.value("title").toString());
        // The animal styles have no instruction; the model never sees them.
        EXPECT_EQ(isAnimalStyle(identifier), !style.value("instruction").isString());
        if (!isAnimalStyle(identifier)) {
            EXPECT_EQ(styleInstruction(identifier), style.value("instruction").toString());
        }
    }
    // Unknown styles fall back to the neutral one.
    EXPECT_EQ(styleInstruction("pirate"), styleInstruction("neutral"));
    EXPECT_EQ(styleTitle("pirate"), styleTitle("neutral"));
}

TEST(AdvisorPrompt, PromptsAreByteExact)
{
    EXPECT_EQ(userPrompt("Добрый день! Отправляю отчёт.", "gopnik", 8),
              QString::fromUtf8(fixture("advisor/prompt_gopnik_8.txt")));
    EXPECT_EQ(chatRequestBody("ну короче привет это проверка, «как есть» \"да\"", "neutral", 5),
              fixture("llama-server/advisor_request_neutral_5.json"));
}

TEST(AdvisorPrompt, IntensityBands)
{
    const QString minimal = "— минимальная: исправляй только явные ошибки и слова-паразиты, формулировки автора "
                            "сохраняй почти дословно.";
    const QString moderate = "— умеренная: поправь порядок слов и пунктуацию, разбей слишком длинные предложения, "
                             "сохраняя манеру автора.";
    const QString high = "— высокая: свободно перефразируй ради ясности и целевого стиля, сохраняя смысл.";
    const QString full = "— полностью переработай текст под целевой стиль, сохранив смысл и факты.";
    // Levels above 10 read as 10; those below 0 stay as given.
    const std::tuple<qint64, qint64, QString> cases[] = {{-2, -2, minimal}, {3, 3, minimal}, {4, 4, moderate},
                                                         {6, 6, moderate},  {7, 7, high},    {9, 9, high},
                                                         {10, 10, full},    {15, 10, full}};
    for (const auto& [level, shown, band] : cases)
        EXPECT_EQ(intensityInstruction(level), QStringLiteral("Степень вмешательства %1 из 10 ").arg(shown) + band)
            << level;
}

TEST(AdvisorAnswer, CleanupDropsReasoningBlanksAndOuterQuotes)
{
    const std::pair<QString, QString> cases[] = {{"<think>a</think>Один<think>b\nc</think> два", "Один два"},
                                                 // Straight quotes first, then the guillemets inside them.
                                                 {"  \"«Привет»\"\n", "Привет"},
                                                 {"«»", "«»"},
                                                 {"\"да\" и \"нет\"", "да\" и \"нет"},
                                                 {"<think>не закрыт", "<think>не закрыт"}};
    for (const auto& [answer, expected] : cases)
        EXPECT_EQ(cleanup(answer), expected) << answer.toStdString();
}

TEST(AdvisorAnswer, ParsesScoreAndText)
{
    const std::tuple<QString, QString, Advice> cases[] = {
        {"ОЦЕНКА: 4\nТЕКСТ: Добрый день.", "привет", {4, "Добрый день.", false}},
        {"<think>…</think>ОЦЕНКА — 5\nТЕКСТ — «Как есть»", "как есть", {5, "«Как есть»", false}},
        {"  Просто новый текст \n", "старый", {std::nullopt, "Просто новый текст", false}},
        {"ОЦЕНКА: 3", "исходная фраза", {3, "исходная фраза", false}},
        {"оценка-2 Первая строка\nвторая строка", "x", {2, "Первая строка\nвторая строка", false}},
        {"текст:  строка один\nстрока два  ", "x", {std::nullopt, "строка один\nстрока два", false}},
        {"ОЦЕНКА: 9\nТЕКСТ: ", "оригинал", {std::nullopt, "оригинал", false}},
        {"ОЦЕНКА: 2\nТЕКСТ: Извините, не могу.", "йо", {2, "Извините, не могу.", true}},
        // No control character of the model's reaches a window.
        {QStringLiteral("ОЦЕНКА: 4\nТЕКСТ: Готово\x1b[201~\u202e\u0085 да"), "x", {4, "Готово[201~ да", false}}};
    for (const auto& [answer, original, expected] : cases)
        EXPECT_EQ(parseAdvice(answer, original), expected) << answer.toStdString();
}

TEST(AdvisorAnswer, MetaIsJudgedAgainstTheOriginal)
{
    const std::tuple<QString, QString, bool> cases[] = {{"К сожалению, я не могу…", "Привет", true},
                                                        {"К сожалению, я не могу…", "к сожалению, опоздаю", false},
                                                        // ё and е are the same letter here, in both texts.
                                                        {"ЭТА ФРАЗА НЕ годится", "эта фраза нё про то", false},
                                                        {"Прошу прощёния", "привет", true},
                                                        {"Добрый день, коллеги.", "привет всем", false}};
    for (const auto& [answer, original, meta] : cases)
        EXPECT_EQ(looksLikeMeta(answer, original), meta) << answer.toStdString() << " / " << original.toStdString();
}

TEST(AdvisorAnswer, ReadsTheRealServersAnswerAndQuotesTheBeginningOfAnUnreadableOne)
{
    const Result<Advice> real = adviceFromAnswer(fixture("llama-server/chat_1.json"), "привет");
    ASSERT_TRUE(real.ok());
    EXPECT_EQ(real.value(), (Advice{std::nullopt, "не и спасибо", false}));
    // The description quotes the body's first 200 bytes.
    const std::pair<QByteArray, QByteArray> cases[] = {
        {R"({"error":{"code":500,"message":"oops","type":"server_error"}})", {}},
        {R"({"choices":[]})", {}},
        {R"({"choices":[{"message":{"content":5}}]})", {}},
        {QByteArray(300, 'x'), QByteArray(200, 'x')}};
    for (const auto& [body, quoted] : cases) {
        SCOPED_TRACE(body.toStdString());
        const Result<Advice> advice = adviceFromAnswer(body, "x");
        ASSERT_FALSE(advice.ok());
        EXPECT_EQ(advice.error().code(), 50);
        EXPECT_TRUE(advice.error().isTolvan());
        EXPECT_EQ(advice.error().description(),
                  "не удалось разобрать ответ: " + QString::fromUtf8(quoted.isNull() ? body : quoted));
    }
}

TEST(AnimalTranslator, KeepsEverythingButTheWordsAndCapitals)
{
    // A word's sound is its hash modulo the six sounds: h("мир") = ((7·31 + 1084)·31 + 1080)·31 + 1088 mod 99 991
    // = 84 937, 84 937 mod 6 = 1. Up to six letters one sound; longer words two sounds, joined by a hyphen.
    // Digits make words too.
    const std::tuple<QString, bool, QString> cases[] = {
        {"Привет, мир!", false, "Тяф, тяф!"}, {"Привет, мир!", true, "Мур, мур!"}, {" \n— !?", true, " \n— !?"},
        {"собака", false, "р-гав"},           {"Телефон", false, "Аф-аф"},         {"2026 год", true, "мр-мяу мурр"}};
    for (const auto& [text, cat, expected] : cases)
        EXPECT_EQ(animalTranslate(text, cat), expected) << text.toStdString() << (cat ? " cat" : " dog");
}
