#include "core/SettingsStore.h"

#include "core/Paths.h"
#include "support/TestFiles.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

QStringList numbered(int count)
{
    QStringList entries;
    for (int index = 1; index <= count; ++index)
        entries.append(QStringLiteral("фраза %1").arg(index));
    return entries;
}

// Permission bits of a file or folder.
unsigned mode(const QString& path)
{
    struct stat status
    {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

} // namespace

TEST(SettingsStore, DefaultsAreNeverWrittenAndUnusableValuesAreClampedOrIgnored)
{
    SettingsStore& store = SettingsStore::shared();
    EXPECT_TRUE(store.stringForKey(SettingsKey::prompt).has_value());
    store.setBool(SettingsKey::sounds, false);
    const QByteArray content = TestFiles::read(Paths::settingsFile());
    EXPECT_TRUE(content.contains("sounds=false"));
    EXPECT_FALSE(content.contains("modelID") || content.contains("prompt"));

    for (const auto& [written, read] : {std::pair{12, 10}, {-3, 0}, {7, 7}}) {
        store.setInteger(SettingsKey::advisorIntensity, written);
        EXPECT_EQ(store.integerForKey(SettingsKey::advisorIntensity), read) << written;
    }
    const QUrl builtIn = store.updateFeedURL();
    store.setString(SettingsKey::updateFeedURL, QStringLiteral("не адрес"));
    EXPECT_EQ(store.updateFeedURL(), builtIn);
    store.setString(SettingsKey::updateFeedURL, QStringLiteral("http://127.0.0.1:8123/feed.json"));
    EXPECT_EQ(store.updateFeedURL(), QUrl(QStringLiteral("http://127.0.0.1:8123/feed.json")));
}

TEST(SettingsStore, HistoryKeepsTheNewestTwentyFirstAndAwkwardTextSurvives)
{
    SettingsStore& store = SettingsStore::shared();
    store.setHistory(numbered(25));
    EXPECT_EQ(store.history(), numbered(20));
    const QString awkward = QStringLiteral("Запятая, \"кавычки\", перевод\nстроки; = и \\ 😀");
    store.prependToHistory(awkward);
    EXPECT_EQ(store.history(), QStringList{awkward} + numbered(19));
}

TEST(SettingsStore, TheFileAndItsFolderAreTheUsersAloneHoweverTheyCameAbout)
{
    const auto modes = [] { return std::pair{mode(Paths::settingsFile()), mode(Paths::configDir())}; };
    const std::pair<unsigned, unsigned> privateModes{0600, 0700};
    SettingsStore(Paths::settingsFile()).prependToHistory(QStringLiteral("первая фраза"));
    EXPECT_EQ(modes(), privateModes);

    // As an earlier version left them: a store that only reads makes them private.
    ASSERT_EQ(::chmod(QFile::encodeName(Paths::configDir()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(Paths::settingsFile()).constData(), 0644), 0);
    EXPECT_EQ(SettingsStore(Paths::settingsFile()).history(), QStringList{QStringLiteral("первая фраза")});
    EXPECT_EQ(modes(), privateModes);
}
