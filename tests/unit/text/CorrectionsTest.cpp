#include "text/Corrections.h"

#include "core/Log.h"

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

std::vector<CorrectionPair> pairsOf(std::initializer_list<std::pair<const char16_t*, const char16_t*>> list)
{
    std::vector<CorrectionPair> pairs;
    for (const auto& [wrong, right] : list)
        pairs.push_back({QString::fromUtf16(wrong), QString::fromUtf16(right)});
    return pairs;
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

TEST(CorrectionsApply, EndingsCapitalsPhrasesAndLiteralText)
{
    const auto linux = pairsOf({{u"линукс", u"Linux"}});
    const auto kube = pairsOf({{u"кубернетис", u"kubernetes"}});
    const auto openAi = pairsOf({{u"open ai", u"OpenAI"}});
    const auto literal = pairsOf({{u"т.е.", u"то есть"}, {u"a+b", u"сумма"}, {u"$1", u"доллар"}});
    const auto replacement = pairsOf({{u"", u"X"}, {u"цена", u"$1 \\0"}});
    const struct
    {
        const std::vector<CorrectionPair>& pairs;
        const char16_t* text;
        const char16_t* expected;
    } rows[] = {
        // The spoken ending of a single word is kept.
        {linux, u"ставлю линукса", u"ставлю Linuxа"},
        {linux, u"с линуксами и линукс3", u"с Linuxами и Linux3"},
        {linux, u"ЛИНУКСА", u"LinuxА"},
        // An ending longer than three letters, a letter before, or a Latin letter after: not the word.
        {linux, u"линуксовского", u"линуксовского"},
        {linux, u"суперлинукс", u"суперлинукс"},
        {linux, u"линуксs", u"линуксs"},
        {linux, u"(линукс), линукс!", u"(Linux), Linux!"},
        {linux, u"😀линукс👍 ЛинуксЁ", u"😀Linux👍 LinuxЁ"},
        // A capital is carried, never lowered.
        {kube, u"Кубернетиса нет", u"Kubernetesа нет"},
        {kube, u"про кубернетис", u"про kubernetes"},
        {linux, u"линукс", u"Linux"},
        // Phrases take no ending.
        {openAi, u"Open AI выпустила", u"OpenAI выпустила"},
        {openAi, u"open aiшка", u"open aiшка"},
        // Metacharacters match literally, replacements are inserted literally, empty forms are skipped.
        {literal, u"т.е. a+b", u"то есть сумма"},
        {literal, u"тxеx aab $1", u"тxеx aab доллар"},
        {replacement, u"цена растёт", u"$1 \\0 растёт"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Corrections::apply(QString::fromUtf16(row.text), row.pairs), QString::fromUtf16(row.expected))
            << QString::fromUtf16(row.text).toStdString();
}

TEST(CorrectionsApply, PhrasesGoFirstAndHandEditsTakeEffectAtTheNextCall)
{
    writeDictionary(R"({"сеть": "Сеть", "нейро сеть": "нейросеть"})");
    const auto phrases = Corrections::load();
    ASSERT_EQ(phrases.size(), 2u);
    EXPECT_EQ(phrases.front().wrong, QStringLiteral("нейро сеть"));
    EXPECT_EQ(Corrections::apply(QStringLiteral("нейро сеть и сеть"), phrases), QStringLiteral("нейросеть и Сеть"));

    writeDictionary(R"({"жпт": "ChatGPT", "линукс": "Linux"})");
    auto pairs = Corrections::load();
    EXPECT_EQ(Corrections::apply(QStringLiteral("жпт на линуксе"), pairs), QStringLiteral("ChatGPT на Linuxе"));
    // A loaded pair edited in memory is matched by its new form.
    ASSERT_EQ(pairs.back().wrong, QStringLiteral("жпт"));
    pairs.back().wrong = QStringLiteral("гпт");
    EXPECT_EQ(Corrections::apply(QStringLiteral("гпт и жпт"), pairs), QStringLiteral("ChatGPT и жпт"));
}

TEST(CorrectionsLoad, AnythingButAnObjectOfStringsIsEmptyAndPairsSortByPerceivedLength)
{
    EXPECT_TRUE(Corrections::load().empty());
    for (const QByteArray& bytes : {QByteArray(), QByteArray("[]"), QByteArray(R"({"a": "b", "c": 1})"),
                                    QByteArray("{\"a\": \"b\""), QByteArray("\xff\xfe")}) {
        writeDictionary(bytes);
        EXPECT_TRUE(Corrections::load().empty()) << bytes.constData();
    }
    // "е" with a combining accent is one character in two code units.
    writeDictionary(QStringLiteral(R"({"ab": "1", "е́е́": "2", "абв": "3", "x": "4"})").toUtf8());
    QStringList order;
    for (const auto& pair : Corrections::load())
        order.append(pair.right);
    EXPECT_EQ(order, (QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")}));
}

TEST(CorrectionsFile, AddTrimsLowerCasesReplacesSavesSortedAndLogs)
{
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("  \n"));
    Corrections::add(QStringLiteral(" "), QStringLiteral("GPT"));
    EXPECT_FALSE(QFile::exists(Corrections::filePath()));
    EXPECT_FALSE(appLog().contains(QStringLiteral("выучено")));

    Corrections::add(QStringLiteral("ЖПТ"), QStringLiteral("ChatGPT"));
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

TEST(CorrectionsFile, EntriesWithUnpairedSurrogatesSurviveTheNextSave)
{
    // JSON escapes can name half of a character; the next save writes them back as escapes.
    writeDictionary(R"({"\ud800а": "б\udc00"})");
    const std::vector<CorrectionPair> before = Corrections::load();
    ASSERT_EQ(before.size(), 1u);
    Corrections::add(QStringLiteral("жпт"), QStringLiteral("GPT"));
    const std::vector<CorrectionPair> after = Corrections::load();
    EXPECT_NE(std::find(after.begin(), after.end(), before.front()), after.end());
    EXPECT_EQ(after.size(), 2u);
}

TEST(CorrectionsFile, RemoveForgetsTheExactKeyAndRewritesTheFileSorted)
{
    writeDictionary(R"({"б":"2",   "а":"1"})");
    Corrections::remove(QStringLiteral("нет"));
    EXPECT_EQ(fileBytes(Corrections::filePath()), QStringLiteral("{\n  \"а\": \"1\",\n  \"б\": \"2\"\n}").toUtf8());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Словарь: забыто «нет»")));

    writeDictionary(R"({"жпт": "GPT"})");
    Corrections::remove(QStringLiteral("ЖПТ"));
    EXPECT_EQ(Corrections::load().size(), 1u);
    Corrections::remove(QStringLiteral("жпт"));
    EXPECT_TRUE(Corrections::load().empty());
    EXPECT_EQ(fileBytes(Corrections::filePath()), QByteArray("{}"));
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
    EXPECT_EQ(Corrections::load(), pairsOf({{u"жпт", u"GPT"}}));
    EXPECT_TRUE(appLog().contains(QStringLiteral("corrections.json не читается — прежнее содержимое сохранено в "
                                                 "corrections.json.bak")));
    // A readable file is not copied again.
    Corrections::add(QStringLiteral("линукс"), QStringLiteral("Linux"));
    EXPECT_EQ(fileBytes(Corrections::filePath() + QStringLiteral(".bak")), handEdited);
}

TEST(CorrectionsFile, AFailedWriteLeavesTheOldFileWholeAndCrashLeftoversAreIgnored)
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

    QFile leftover(Corrections::filePath() + QStringLiteral(".XyZ123"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("{\"half\": \"writ");
    leftover.close();
    EXPECT_EQ(Corrections::load(), pairsOf({{u"жпт", u"GPT"}}));
    Corrections::save(large);
    EXPECT_EQ(Corrections::load().size(), 2000u);
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
