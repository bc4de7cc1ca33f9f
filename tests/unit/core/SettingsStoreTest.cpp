#include "core/SettingsStore.h"

#include "core/Paths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{

QStringList numbered(int count)
{
    QStringList entries;
    for (int index = 1; index <= count; ++index)
        entries.append(QStringLiteral("фраза %1").arg(index));
    return entries;
}

} // namespace

TEST(SettingsStore, DefaultsAreReadButNeverWrittenToTheFile)
{
    SettingsStore& store = SettingsStore::shared();
    EXPECT_EQ(store.stringForKey(SettingsKey::modelID), QStringLiteral("large-v3-turbo-q5_0"));
    EXPECT_EQ(store.stringForKey(SettingsKey::prompt)->toUtf8().size(), 329);
    EXPECT_EQ(SettingsStore::registeredDefaults().size(), 19u);
    store.setBool(SettingsKey::sounds, false);
    const QByteArray content = TestFiles::read(Paths::settingsFile());
    EXPECT_TRUE(content.contains("sounds=false"));
    EXPECT_FALSE(content.contains("modelID"));
    EXPECT_FALSE(content.contains("prompt"));
}

TEST(SettingsStore, HistoryKeepsTheNewestTwentyFirstAndAwkwardTextSurvives)
{
    SettingsStore& store = SettingsStore::shared();
    store.setHistory(numbered(25));
    EXPECT_EQ(store.history(), numbered(20));
    const QString awkward = QStringLiteral("Запятая, \"кавычки\", перевод\nстроки; = и \\ 😀");
    store.setHistory({});
    store.prependToHistory(QStringLiteral("первая"));
    store.prependToHistory(awkward);
    store.prependToHistory(QStringLiteral("первая"));
    EXPECT_EQ(store.history(), (QStringList{QStringLiteral("первая"), awkward, QStringLiteral("первая")}));
    for (int index = 0; index < 30; ++index)
        store.prependToHistory(QString::number(index));
    EXPECT_EQ(store.history().size(), 20);
    EXPECT_EQ(store.history().first(), QStringLiteral("29"));
}

TEST(SettingsStore, AdvisorIntensityIsClampedOnWrite)
{
    SettingsStore& store = SettingsStore::shared();
    for (const auto& [written, read] : {std::pair{12, 10}, {-3, 0}, {7, 7}}) {
        store.setInteger(SettingsKey::advisorIntensity, written);
        EXPECT_EQ(store.integerForKey(SettingsKey::advisorIntensity), read) << written;
    }
    store.setInteger(SettingsKey::skippedUpdateBuild, 12);
    EXPECT_EQ(store.integerForKey(SettingsKey::skippedUpdateBuild), 12);
}

TEST(SettingsStore, AnotherStoreAndHandEditsAreSeenByTheNextRead)
{
    SettingsStore first(Paths::settingsFile());
    SettingsStore second(Paths::settingsFile());
    first.setString(SettingsKey::language, QStringLiteral("en"));
    EXPECT_EQ(second.stringForKey(SettingsKey::language), QStringLiteral("en"));

    TestFiles::write(Paths::settingsFile(),
                     "[General]\nlanguage=auto\npttEnabled=false\noutputFormat=plain\nadvisorIntensity=7\n");
    EXPECT_EQ(first.stringForKey(SettingsKey::language), QStringLiteral("auto"));
    EXPECT_FALSE(second.boolForKey(SettingsKey::pttEnabled));
    EXPECT_EQ(first.outputFormat(), QStringLiteral("plain"));
    EXPECT_EQ(second.integerForKey(SettingsKey::advisorIntensity), 7);
}

TEST(SettingsStore, UnusableUpdateFeedIsIgnored)
{
    SettingsStore& store = SettingsStore::shared();
    const QUrl builtIn = store.updateFeedURL();
    EXPECT_TRUE(builtIn.host().endsWith(QLatin1String(".invalid")));
    store.setString(SettingsKey::updateFeedURL, QStringLiteral("не адрес"));
    EXPECT_EQ(store.updateFeedURL(), builtIn);
    store.setString(SettingsKey::updateFeedURL, QStringLiteral("http://127.0.0.1:8123/feed.json"));
    EXPECT_EQ(store.updateFeedURL(), QUrl(QStringLiteral("http://127.0.0.1:8123/feed.json")));
}
