#include "text/Corrections.h"

#include "core/Paths.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "text/MacroStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace
{

using TestEnvironment::appLog;

using Pairs = std::vector<CorrectionPair>;

} // namespace

TEST(CorrectionsApply, EndingsCapitalsPhrasesAndLiteralText)
{
    const auto linux = Pairs({{"линукс", "Linux"}});
    const auto kube = Pairs({{"кубернетис", "kubernetes"}});
    const auto openAi = Pairs({{"open ai", "OpenAI"}});
    const auto literal = Pairs({{"т.е.", "то есть"}, {"a+b", "сумма"}, {"$1", "доллар"}});
    const auto replacement = Pairs({{"", "X"}, {"цена", "$1 \\0"}});
    const std::tuple<const std::vector<CorrectionPair>&, QString, QString> rows[] = {
        // The spoken ending of a single word is kept.
        {linux, "ставлю линукса", "ставлю Linuxа"},
        {linux, "с линуксами и линукс3", "с Linuxами и Linux3"},
        {linux, "ЛИНУКСА", "LinuxА"},
        // An ending longer than three letters, a letter before, or a Latin letter after: not the word.
        {linux, "линуксовского", "линуксовского"},
        {linux, "суперлинукс", "суперлинукс"},
        {linux, "линуксs", "линуксs"},
        {linux, "😀линукс👍 ЛинуксЁ", "😀Linux👍 LinuxЁ"},
        // A capital is carried, never lowered.
        {kube, "Кубернетиса нет", "Kubernetesа нет"},
        // Phrases take no ending.
        {openAi, "Open AI выпустила", "OpenAI выпустила"},
        {openAi, "open aiшка", "open aiшка"},
        // Metacharacters match literally, replacements are inserted literally, empty forms are skipped.
        {literal, "т.е. a+b", "то есть сумма"},
        {literal, "тxеx aab $1", "тxеx aab доллар"},
        {replacement, "цена растёт", "$1 \\0 растёт"},
    };
    for (const auto& [pairs, text, expected] : rows)
        EXPECT_EQ(Corrections::apply(text, pairs), expected) << text.toStdString();
}

TEST(CorrectionsLoad, AnythingButAnObjectOfStringsIsEmptyAndPairsSortByPerceivedLength)
{
    EXPECT_TRUE(Corrections::load().empty());
    for (const QByteArray& bytes : {QByteArray(), QByteArray("[]"), QByteArray(R"({"a": "b", "c": 1})"),
                                    QByteArray("{\"a\": \"b\""), QByteArray("\xff\xfe")}) {
        TestFiles::write(Corrections::filePath(), bytes);
        EXPECT_TRUE(Corrections::load().empty()) << bytes.constData();
    }
    // "е" with a combining accent is one character in two code units.
    TestFiles::write(Corrections::filePath(),
                     QStringLiteral(R"({"ab": "1", "е́е́": "2", "абв": "3", "x": "4"})").toUtf8());
    QStringList order;
    for (const auto& pair : Corrections::load())
        order.append(pair.right);
    EXPECT_EQ(order, (QStringList{"3", "1", "2", "4"}));
}

TEST(CorrectionsFile, AddTrimsLowerCasesReplacesAndRemoveForgetsTheExactKeyBothSavingSortedAndLogging)
{
    Corrections::add("жпт", "  \n");
    Corrections::add(" ", "GPT");
    EXPECT_FALSE(QFile::exists(Corrections::filePath()));
    EXPECT_FALSE(appLog().contains("выучено"));

    Corrections::add("ЖПТ", "ChatGPT");
    Corrections::add("  Жпт ", " GPT\n");
    Corrections::add("абв", "ABC");
    EXPECT_EQ(TestFiles::read(Corrections::filePath()),
              QStringLiteral("{\n  \"абв\": \"ABC\",\n  \"жпт\": \"GPT\"\n}").toUtf8());
    EXPECT_TRUE(appLog().contains("Словарь: выучено «жпт» → «GPT»"));
    // Only the exact key is forgotten.
    Corrections::remove("ЖПТ");
    Corrections::remove("абв");
    EXPECT_EQ(TestFiles::read(Corrections::filePath()), QStringLiteral("{\n  \"жпт\": \"GPT\"\n}").toUtf8());
    EXPECT_TRUE(appLog().contains("Словарь: забыто «абв»"));
}

// A hand-edited file that no longer reads is kept beside the new one, a failed write leaves the old file whole.
TEST(CorrectionsFile, NeitherAnUnreadableFileNorAFailedWriteLosesWhatWasThere)
{
    const QByteArray handEdited = "{\"линукс\": \"Linux\",, }";
    TestFiles::write(Corrections::filePath(), handEdited);
    TestFiles::write(Corrections::filePath() + ".bak", "older");
    Corrections::add("жпт", "GPT");
    EXPECT_EQ(TestFiles::read(Corrections::filePath() + ".bak"), handEdited);
    EXPECT_EQ(Corrections::load(), Pairs({{"жпт", "GPT"}}));
    EXPECT_TRUE(
        appLog().contains("corrections.json не читается — прежнее содержимое сохранено в corrections.json.bak"));
    // A readable file is not copied again.
    Corrections::add("линукс", "Linux");
    EXPECT_EQ(TestFiles::read(Corrections::filePath() + ".bak"), handEdited);

    const QByteArray before = TestFiles::read(Corrections::filePath());
    std::map<QString, QString> large;
    for (int index = 0; index < 2000; ++index)
        large[QStringLiteral("слово%1").arg(index)] = QStringLiteral("Word%1").arg(index);
    // Writes beyond 4 KiB fail, as on a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limited);
    Corrections::save(large);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(TestFiles::read(Corrections::filePath()), before);
    EXPECT_EQ(QDir(QFileInfo(Corrections::filePath()).absolutePath()).entryList(QDir::Files),
              (QStringList{"corrections.json", "corrections.json.bak"}));

    TestFiles::write(Corrections::filePath() + ".XyZ123", "{\"half\": \"writ");
    EXPECT_EQ(Corrections::load().size(), 2u);
    Corrections::save(large);
    EXPECT_EQ(Corrections::load().size(), 2000u);
}

TEST(CorrectionsHint, ListsDistinctSpellingsOfTheLongestFormsFirst)
{
    EXPECT_EQ(Corrections::promptHint(30), QString());
    TestFiles::write(Corrections::filePath(), R"({"кубернетис": "Kubernetes", "линукс": "Linux", "линух": "Linux"})");
    EXPECT_EQ(Corrections::promptHint(30), "Правильные написания: Kubernetes, Linux.");

    QJsonObject many;
    QStringList expected;
    for (int index = 1; index <= 40; ++index) {
        many.insert(QString(index, u'ж'), QStringLiteral("S%1").arg(index));
        if (index > 10)
            expected.prepend(QStringLiteral("S%1").arg(index));
    }
    TestFiles::write(Corrections::filePath(), QJsonDocument(many).toJson());
    EXPECT_EQ(Corrections::promptHint(30), "Правильные написания: " + expected.join(", ") + u'.');
}

TEST(UsersFiles, TheLogAndTheUsersWordsAreReadableByTheUserAlone)
{
    // Both hold what the user said: learnt words, macro texts, dropped pieces of dictation.
    Corrections::add(QStringLiteral("жипити"), QStringLiteral("ChatGPT"));
    MacroStore::ensureFile();
    for (const QString& path :
         {Paths::logDir() + QStringLiteral("/app.log"), Corrections::filePath(), MacroStore::filePath()}) {
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        // Read and write for the owner, nothing for group and others (the "user" bits repeat the owner's).
        EXPECT_EQ(QFile::permissions(path).toInt() & 0x7077, 0x6000) << path.toStdString();
    }
}
