#include "core/SettingsStore.h"
#include "text/TranscriptPipeline.h"
#include "text/WindowProfiles.h"

#include <gtest/gtest.h>

namespace
{

// As UTF-8, which a failure shows as text.
std::string shaped(const QString& recognized, TextProfile profile)
{
    TranscriptionResult result;
    result.segments.push_back({recognized, 0, 3000, -0.2, 0.01});
    return TranscriptPipeline::textOf(result, profile).toStdString();
}

} // namespace

TEST(TextProfile, EachProfileShapesTheSameDictationAsItsProgramsNeed)
{
    // Quotes, a dash, a number, a sentence's capital, a final period; then a spoken list.
    const QString sentence = QStringLiteral("скажи \"да\" - это 10000 рублей. ок.");
    const QString spokenList = QStringLiteral("Покупки. Список. Молоко. Хлеб.");
    const QString chatLine = QStringLiteral("я скоро буду.");
    const std::string list = "Покупки.\n\n- Молоко.\n- Хлеб.";
    const struct
    {
        TextProfile profile;
        std::string sentence;
        std::string list;
        std::string chatLine;
    } rows[] = {
        {TextProfile::document, "Скажи «да»\u00a0— это 10 000 рублей. Ок.", list, "Я скоро буду."},
        // A message of one sentence ends without a period; a longer one keeps it.
        {TextProfile::chat, "Скажи «да»\u00a0— это 10 000 рублей. Ок.", list, "Я скоро буду"},
        // Straight quotes and hyphens, ordinary spaces, no capital the recognizer did not write; commands still work.
        {TextProfile::code, "Скажи \"да\" - это 10000 рублей. ок.", list, "Я скоро буду."},
        {TextProfile::terminal, "Скажи \"да\" - это 10000 рублей. ок", "Покупки.\n\n- Молоко.\n- Хлеб", "Я скоро буду"},
        // Spoken commands still start their sentences with a capital.
        {TextProfile::raw, "Скажи \"да\" - это 10000 рублей. ок.", list, "Я скоро буду."},
    };
    for (const auto& row : rows) {
        const std::string name = TextProfiles::key(row.profile).toStdString();
        EXPECT_EQ(shaped(sentence, row.profile), row.sentence) << name;
        EXPECT_EQ(shaped(spokenList, row.profile), row.list) << name;
        EXPECT_EQ(shaped(chatLine, row.profile), row.chatLine) << name;
        EXPECT_EQ(TextProfiles::fromKey(TextProfiles::key(row.profile)), row.profile);
    }
    // The period of an abbreviation or of an ellipsis is no final period.
    EXPECT_EQ(shaped(QStringLiteral("Хлеб, молоко и т. д."), TextProfile::terminal), "Хлеб, молоко и т. д.");
    EXPECT_EQ(shaped(QStringLiteral("Ну..."), TextProfile::chat), "Ну...");
}

TEST(TextProfile, TheUsersRulesComeBeforeTheBuiltInOnesAndAnOldSettingsFileKeepsItsOutput)
{
    SettingsStore& settings = SettingsStore::shared();
    const QStringList xterm{QStringLiteral("xterm"), QStringLiteral("XTerm")};
    const QStringList telegram{QStringLiteral("telegram-desktop"), QStringLiteral("TelegramDesktop")};
    const QStringList unknown{QStringLiteral("mytool"), QStringLiteral("MyTool")};

    // A settings file from before profiles: its switches are the document's, which every other program gets.
    settings.setBool(SettingsKey::typographyQuotes, false);
    EXPECT_EQ(WindowProfiles::forWindow(unknown), TextProfile::document);
    EXPECT_EQ(WindowProfiles::forWindow({}), TextProfile::document);
    EXPECT_EQ(WindowProfiles::forWindow(xterm), TextProfile::terminal);
    EXPECT_EQ(WindowProfiles::forWindow({QStringLiteral("jetbrains-idea"), QStringLiteral("jetbrains-idea")}),
              TextProfile::code);
    EXPECT_EQ(WindowProfiles::forWindow(telegram), TextProfile::chat);
    EXPECT_EQ(shaped(QStringLiteral("скажи \"да\" - это так."), TextProfile::document), "Скажи \"да\"\u00a0— это так.");

    // The user's rule wins over the built-in one, whatever the case of the class; broken entries are left out.
    settings.setStringArray(SettingsKey::appProfiles,
                            {QStringLiteral("XTerm=document"), QStringLiteral("mytool=raw"), QStringLiteral("=code"),
                             QStringLiteral("broken"), QStringLiteral("other=nonsense")});
    EXPECT_EQ(WindowProfiles::userRules(),
              (std::vector<WindowProfiles::Rule>{{QStringLiteral("xterm"), TextProfile::document},
                                                 {QStringLiteral("mytool"), TextProfile::raw}}));
    EXPECT_EQ(WindowProfiles::forWindow(xterm), TextProfile::document);
    EXPECT_TRUE(WindowProfiles::isTerminal(xterm)) << "the paste keys still follow the program";
    EXPECT_EQ(WindowProfiles::forWindow(unknown), TextProfile::raw);

    // The profile of every other program is the user's; browsers and office suites stay documents.
    WindowProfiles::setDefaultProfile(TextProfile::chat);
    EXPECT_EQ(WindowProfiles::forWindow({QStringLiteral("gimp")}), TextProfile::chat);
    EXPECT_EQ(WindowProfiles::forWindow({QStringLiteral("Navigator"), QStringLiteral("firefox-esr")}),
              TextProfile::document);
    EXPECT_EQ(WindowProfiles::forWindow({}), TextProfile::chat);

    // The programs offered for a rule: the last paste targets, newest first, each once.
    for (const QStringList& target : {xterm, telegram, xterm, unknown})
        WindowProfiles::notePasteTarget(target);
    EXPECT_EQ(WindowProfiles::recentPrograms(),
              (QStringList{QStringLiteral("mytool"), QStringLiteral("xterm"), QStringLiteral("telegramdesktop")}));
}
