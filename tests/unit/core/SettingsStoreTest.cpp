#include "core/SettingsStore.h"

#include "core/Paths.h"
#include "support/TestEnvironment.h"

#include <QFile>

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

TEST(SettingsStore, FreshAccountReadsEveryRegisteredDefault)
{
    SettingsStore& store = SettingsStore::shared();
    EXPECT_EQ(store.stringForKey(SettingsKey::modelID), QStringLiteral("large-v3-turbo-q5_0"));
    EXPECT_EQ(store.stringForKey(SettingsKey::language), QStringLiteral("ru"));
    EXPECT_EQ(store.stringForKey(SettingsKey::togglePreset), QStringLiteral("cmdShiftSpace"));
    EXPECT_TRUE(store.boolForKey(SettingsKey::pttEnabled));
    EXPECT_TRUE(store.boolForKey(SettingsKey::autoPaste));
    EXPECT_FALSE(store.boolForKey(SettingsKey::restoreClipboard));
    EXPECT_TRUE(store.boolForKey(SettingsKey::sounds));
    EXPECT_TRUE(store.boolForKey(SettingsKey::appendSpace));
    EXPECT_EQ(store.stringForKey(SettingsKey::prompt)->toUtf8().size(), 329);
    EXPECT_TRUE(store.stringForKey(SettingsKey::prompt)->endsWith(QStringLiteral("пункт, конец списка.")));
    EXPECT_FALSE(store.boolForKey(SettingsKey::firstRunDone));
    EXPECT_TRUE(store.boolForKey(SettingsKey::formattingEnabled));
    EXPECT_TRUE(store.boolForKey(SettingsKey::autoFormat));
    EXPECT_EQ(store.outputFormat(), QStringLiteral("markdown"));
    EXPECT_TRUE(store.boolForKey(SettingsKey::autoUpdateCheck));
    EXPECT_EQ(store.stringForKey(SettingsKey::speechQuality), QStringLiteral("highlight"));
    EXPECT_FALSE(store.boolForKey(SettingsKey::styleAdvisor));
    EXPECT_EQ(store.stringForKey(SettingsKey::advisorStyle), QStringLiteral("neutral"));
    EXPECT_EQ(store.integerForKey(SettingsKey::advisorIntensity), 5);
    EXPECT_TRUE(store.boolForKey(SettingsKey::recognizeWhileRecording));

    EXPECT_TRUE(store.history().isEmpty());
    EXPECT_FALSE(store.stringForKey(SettingsKey::lastRunVersion).has_value());
    EXPECT_EQ(store.integerForKey(SettingsKey::skippedUpdateBuild), 0);
    EXPECT_EQ(SettingsStore::registeredDefaults().size(), 19u);
}

TEST(SettingsStore, DefaultsAreNeverWrittenToTheFile)
{
    SettingsStore& store = SettingsStore::shared();
    store.setBool(SettingsKey::sounds, false);
    QFile file(Paths::settingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.contains("sounds=false"));
    EXPECT_FALSE(content.contains("modelID"));
    EXPECT_FALSE(content.contains("prompt"));
}

TEST(SettingsStore, HistoryKeepsTheFirstTwenty)
{
    SettingsStore& store = SettingsStore::shared();
    store.setHistory(numbered(25));
    EXPECT_EQ(store.history(), numbered(20));
    store.setHistory(numbered(20));
    EXPECT_EQ(store.history(), numbered(20));
}

TEST(SettingsStore, NewestHistoryEntryComesFirstAndAwkwardTextSurvives)
{
    SettingsStore& store = SettingsStore::shared();
    const QString awkward = QStringLiteral("Запятая, \"кавычки\", перевод\nстроки; = и \\ 😀");
    store.prependToHistory(QStringLiteral("первая"));
    EXPECT_EQ(store.history(), QStringList{QStringLiteral("первая")});
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
    store.setInteger(SettingsKey::advisorIntensity, 12);
    EXPECT_EQ(store.integerForKey(SettingsKey::advisorIntensity), 10);
    store.setInteger(SettingsKey::advisorIntensity, -3);
    EXPECT_EQ(store.integerForKey(SettingsKey::advisorIntensity), 0);
    store.setInteger(SettingsKey::skippedUpdateBuild, 12);
    EXPECT_EQ(store.integerForKey(SettingsKey::skippedUpdateBuild), 12);
}

TEST(SettingsStore, AnotherStoreAndHandEditsAreSeenByTheNextRead)
{
    SettingsStore first(Paths::settingsFile());
    SettingsStore second(Paths::settingsFile());
    first.setString(SettingsKey::language, QStringLiteral("en"));
    EXPECT_EQ(second.stringForKey(SettingsKey::language), QStringLiteral("en"));

    QFile file(Paths::settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nlanguage=auto\npttEnabled=false\noutputFormat=plain\nadvisorIntensity=7\n");
    file.close();
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
