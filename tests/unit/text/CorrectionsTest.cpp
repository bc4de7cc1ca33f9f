#include "text/Corrections.h"

#include "app/Log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace
{

void writeDictionary(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(Corrections::filePath()).absolutePath());
    QFile file(Corrections::filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString appLog()
{
    return QString::fromUtf8(fileBytes(Log::directory() + QStringLiteral("/app.log")));
}

QString corrected(const QString& text, std::vector<CorrectionPair> pairs)
{
    return Corrections::apply(text, pairs);
}

std::vector<CorrectionPair> linux()
{
    return {{QStringLiteral("линукс"), QStringLiteral("Linux")}};
}

// Writes beyond this size fail (as on a full disk) until the object goes away.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

} // namespace

TEST(CorrectionsApply, KeepsTheSpokenEndingOfASingleWord)
{
    EXPECT_EQ(corrected(QStringLiteral("ставлю линукса"), linux()), QStringLiteral("ставлю Linuxа"));
    EXPECT_EQ(corrected(QStringLiteral("Линуксом"), linux()), QStringLiteral("Linuxом"));
    EXPECT_EQ(corrected(QStringLiteral("с линуксами и линукс3"), linux()), QStringLiteral("с Linuxами и Linux3"));
    EXPECT_EQ(corrected(QStringLiteral("ЛИНУКСА"), linux()), QStringLiteral("LinuxА"));
    // An ending longer than three letters, a letter before, or a Latin letter after: not the word.
    EXPECT_EQ(corrected(QStringLiteral("линуксовского"), linux()), QStringLiteral("линуксовского"));
    EXPECT_EQ(corrected(QStringLiteral("суперлинукс"), linux()), QStringLiteral("суперлинукс"));
    EXPECT_EQ(corrected(QStringLiteral("линуксs"), linux()), QStringLiteral("линуксs"));
    EXPECT_EQ(corrected(QStringLiteral("(линукс), линукс!"), linux()), QStringLiteral("(Linux), Linux!"));
    EXPECT_EQ(corrected(QStringLiteral("😀линукс👍 ЛинуксЁ"), linux()), QStringLiteral("😀Linux👍 LinuxЁ"));
}

TEST(CorrectionsApply, CarriesACapitalButNeverLowersOne)
{
    const std::vector<CorrectionPair> pairs{{QStringLiteral("кубернетис"), QStringLiteral("kubernetes")}};
    EXPECT_EQ(corrected(QStringLiteral("Кубернетиса нет"), pairs), QStringLiteral("Kubernetesа нет"));
    EXPECT_EQ(corrected(QStringLiteral("про кубернетис"), pairs), QStringLiteral("про kubernetes"));
    EXPECT_EQ(corrected(QStringLiteral("линукс"), linux()), QStringLiteral("Linux"));
}

TEST(CorrectionsApply, PhrasesTakeNoEndingAndGoBeforeTheWordsTheyContain)
{
    const std::vector<CorrectionPair> openAi{{QStringLiteral("open ai"), QStringLiteral("OpenAI")}};
    EXPECT_EQ(corrected(QStringLiteral("Open AI выпустила"), openAi), QStringLiteral("OpenAI выпустила"));
    EXPECT_EQ(corrected(QStringLiteral("open aiшка"), openAi), QStringLiteral("open aiшка"));

    writeDictionary(R"({"сеть": "Сеть", "нейро сеть": "нейросеть"})");
    const auto pairs = Corrections::load();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs.front().wrong, QStringLiteral("нейро сеть"));
    EXPECT_EQ(Corrections::apply(QStringLiteral("нейро сеть и сеть"), pairs), QStringLiteral("нейросеть и Сеть"));
}

TEST(CorrectionsApply, MatchesMetacharactersLiterally)
{
    const std::vector<CorrectionPair> pairs{{QStringLiteral("т.е."), QStringLiteral("то есть")},
                                            {QStringLiteral("a+b"), QStringLiteral("сумма")},
                                            {QStringLiteral("$1"), QStringLiteral("доллар")}};
    EXPECT_EQ(corrected(QStringLiteral("т.е. a+b"), pairs), QStringLiteral("то есть сумма"));
    EXPECT_EQ(corrected(QStringLiteral("тxеx aab $1"), pairs), QStringLiteral("тxеx aab доллар"));
}

TEST(CorrectionsApply, ReplacementsAreInsertedLiterallyAndEmptyFormsAreSkipped)
{
    const std::vector<CorrectionPair> pairs{{QString(), QStringLiteral("X")},
                                            {QStringLiteral("цена"), QStringLiteral("$1 \\0")}};
    EXPECT_EQ(corrected(QStringLiteral("цена растёт"), pairs), QStringLiteral("$1 \\0 растёт"));
}

TEST(CorrectionsApply, HandEditsTakeEffectAtTheNextCall)
{
    writeDictionary(R"({"жпт": "GPT"})");
    EXPECT_EQ(Corrections::apply(QStringLiteral("жпт"), Corrections::load()), QStringLiteral("GPT"));
    writeDictionary(R"({"жпт": "ChatGPT", "линукс": "Linux"})");
    auto pairs = Corrections::load();
    EXPECT_EQ(Corrections::apply(QStringLiteral("жпт на линуксе"), pairs), QStringLiteral("ChatGPT на Linuxе"));
    // A loaded pair edited in memory is matched by its new form.
    ASSERT_EQ(pairs.back().wrong, QStringLiteral("жпт"));
    pairs.back().wrong = QStringLiteral("гпт");
    EXPECT_EQ(Corrections::apply(QStringLiteral("гпт и жпт"), pairs), QStringLiteral("ChatGPT и жпт"));
}

TEST(CorrectionsLoad, AnythingButAnObjectOfStringsIsAnEmptyDictionary)
{
    EXPECT_TRUE(Corrections::load().empty());
    for (const QByteArray& bytes : {QByteArray(), QByteArray("[]"), QByteArray(R"({"a": "b", "c": 1})"),
                                    QByteArray("{\"a\": \"b\""), QByteArray("\xff\xfe")}) {
        writeDictionary(bytes);
        EXPECT_TRUE(Corrections::load().empty()) << bytes.constData();
    }
}

TEST(CorrectionsLoad, SortsByUserPerceivedLength)
{
    // "е" with a combining accent is one character in two code units.
    writeDictionary(QStringLiteral(R"({"ab": "1", "е́е́": "2", "абв": "3", "x": "4"})").toUtf8());
    const auto pairs = Corrections::load();
    QStringList order;
    for (const auto& pair : pairs)
        order.append(pair.right);
    EXPECT_EQ(order, (QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")}));
}

TEST(CorrectionsFile, AddTrimsLowerCasesSavesSortedAndLogs)
{
    Corrections::add(QStringLiteral("  Жпт "), QStringLiteral(" GPT\n"));
    Corrections::add(QStringLiteral("Кавычки"), QStringLiteral("\"quotes\" \\ \n"));
    Corrections::add(QStringLiteral("абв"), QStringLiteral("ABC"));
    EXPECT_EQ(fileBytes(Corrections::filePath()),
              QStringLiteral("{\n  \"абв\": \"ABC\",\n  \"жпт\": \"GPT\",\n  \"кавычки\": \"\\\"quotes\\\" \\\\\"\n}")
                  .toUtf8());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Словарь: выучено «жпт» → «GPT»")));
    const auto pairs = Corrections::load();
    EXPECT_NE(std::find(pairs.begin(), pairs.end(),
                        CorrectionPair{QStringLiteral("кавычки"), QStringLiteral("\"quotes\" \\")}),
              pairs.end());
}

TEST(CorrectionsFile, BlankFormsAreNotLearned)
{
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("  \n"));
    Corrections::add(QStringLiteral(" "), QStringLiteral("GPT"));
    EXPECT_FALSE(QFile::exists(Corrections::filePath()));
    EXPECT_FALSE(appLog().contains(QStringLiteral("выучено")));
}

TEST(CorrectionsFile, AddReplacesAndRemoveForgetsTheExactKey)
{
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("GPT"));
    Corrections::add(QStringLiteral("ЖПТ"), QStringLiteral("ChatGPT"));
    EXPECT_EQ(Corrections::load(), (std::vector<CorrectionPair>{{QStringLiteral("жпт"), QStringLiteral("ChatGPT")}}));
    Corrections::remove(QStringLiteral("ЖПТ"));
    EXPECT_EQ(Corrections::load().size(), 1u);
    Corrections::remove(QStringLiteral("жпт"));
    EXPECT_TRUE(Corrections::load().empty());
    EXPECT_EQ(fileBytes(Corrections::filePath()), QByteArray("{}"));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Словарь: забыто «ЖПТ»")));
}

TEST(CorrectionsFile, RemovingAnAbsentKeyRewritesTheFileSorted)
{
    writeDictionary(R"({"б":"2",   "а":"1"})");
    Corrections::remove(QStringLiteral("нет"));
    EXPECT_EQ(fileBytes(Corrections::filePath()), QStringLiteral("{\n  \"а\": \"1\",\n  \"б\": \"2\"\n}").toUtf8());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Словарь: забыто «нет»")));
}

TEST(CorrectionsFile, AnUnparsableFileIsKeptBesideTheNewOne)
{
    const QByteArray handEdited = "{\"линукс\": \"Linux\",, }";
    writeDictionary(handEdited);
    QFile olderCopy(Corrections::filePath() + QStringLiteral(".bak"));
    ASSERT_TRUE(olderCopy.open(QIODevice::WriteOnly));
    olderCopy.write("older");
    olderCopy.close();
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("GPT"));
    EXPECT_EQ(fileBytes(Corrections::filePath() + QStringLiteral(".bak")), handEdited);
    EXPECT_EQ(Corrections::load(), (std::vector<CorrectionPair>{{QStringLiteral("жпт"), QStringLiteral("GPT")}}));
    EXPECT_TRUE(appLog().contains(QStringLiteral("corrections.json не читается — прежнее содержимое сохранено в "
                                                 "corrections.json.bak")));
    // A readable file is not copied again.
    Corrections::add(QStringLiteral("линукс"), QStringLiteral("Linux"));
    EXPECT_EQ(fileBytes(Corrections::filePath() + QStringLiteral(".bak")), handEdited);
}

TEST(CorrectionsFile, AFailedWriteLeavesTheOldFileWhole)
{
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("GPT"));
    const QByteArray before = fileBytes(Corrections::filePath());
    std::map<QString, QString> large;
    for (int index = 0; index < 2000; ++index)
        large[QStringLiteral("слово%1").arg(index)] = QStringLiteral("Word%1").arg(index);
    {
        const FileSizeLimit limit(4096);
        Corrections::save(large);
    }
    EXPECT_EQ(fileBytes(Corrections::filePath()), before);
    const QStringList left = QDir(QFileInfo(Corrections::filePath()).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList{QStringLiteral("corrections.json")});
    Corrections::save(large);
    EXPECT_EQ(Corrections::load().size(), 2000u);
}

TEST(CorrectionsFile, ATemporaryFileLeftByACrashIsIgnored)
{
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("GPT"));
    QFile leftover(Corrections::filePath() + QStringLiteral(".XyZ123"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("{\"half\": \"writ");
    leftover.close();
    EXPECT_EQ(Corrections::load(), (std::vector<CorrectionPair>{{QStringLiteral("жпт"), QStringLiteral("GPT")}}));
    Corrections::add(QStringLiteral("линукс"), QStringLiteral("Linux"));
    EXPECT_EQ(Corrections::load().size(), 2u);
}

TEST(CorrectionsHint, ListsDistinctSpellingsOfTheLongestFormsFirst)
{
    EXPECT_EQ(Corrections::promptHint(30), QString());
    writeDictionary(R"({"кубернетис": "Kubernetes", "линукс": "Linux", "линух": "Linux"})");
    EXPECT_EQ(Corrections::promptHint(30), QStringLiteral("Правильные написания: Kubernetes, Linux."));

    QJsonObject many;
    for (int index = 0; index < 40; ++index)
        many.insert(QString(index + 1, u'ж'), QStringLiteral("S%1").arg(index + 1));
    writeDictionary(QJsonDocument(many).toJson());
    QStringList expected;
    for (int index = 40; index > 10; --index)
        expected.append(QStringLiteral("S%1").arg(index));
    EXPECT_EQ(Corrections::promptHint(30),
              QStringLiteral("Правильные написания: ") + expected.join(QStringLiteral(", ")) + u'.');
}
