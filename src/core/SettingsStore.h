#pragma once

#include <QAnyStringView>
#include <QLatin1String>
#include <QSettings>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// The names of the stored preferences.
namespace SettingsKey
{
// Absent until the user chooses a model (or the first run settles the default): ModelCatalog::defaultModelID().
inline constexpr QLatin1String modelID("modelID");
inline constexpr QLatin1String language("language");
inline constexpr QLatin1String togglePreset("togglePreset");
inline constexpr QLatin1String pttEnabled("pttEnabled");
// Push-to-talk's key: "rightAlt" or "rightCtrl".
inline constexpr QLatin1String pttKey("pttKey");
inline constexpr QLatin1String autoPaste("autoPaste");
inline constexpr QLatin1String restoreClipboard("restoreClipboard");
inline constexpr QLatin1String sounds("sounds");
inline constexpr QLatin1String appendSpace("appendSpace");
inline constexpr QLatin1String prompt("prompt");
inline constexpr QLatin1String firstRunDone("firstRunDone");
inline constexpr QLatin1String formattingEnabled("formattingEnabled");
inline constexpr QLatin1String autoFormat("autoFormat");
inline constexpr QLatin1String outputFormat("outputFormat");
// The typography rules: «ёлочки», dashes, numbers in digits, no-break spaces; Roman centuries, the minus
// sign, a space after "№" and "…", where editors agree but some writers do otherwise.
inline constexpr QLatin1String typographyQuotes("typographyQuotes");
inline constexpr QLatin1String typographyDashes("typographyDashes");
inline constexpr QLatin1String typographyNumbers("typographyNumbers");
inline constexpr QLatin1String typographyNoBreakSpaces("typographyNoBreakSpaces");
inline constexpr QLatin1String typographyRomanCenturies("typographyRomanCenturies");
inline constexpr QLatin1String typographyMinusSign("typographyMinusSign");
inline constexpr QLatin1String typographyNumberSign("typographyNumberSign");
inline constexpr QLatin1String typographyEllipsis("typographyEllipsis");
inline constexpr QLatin1String autoUpdateCheck("autoUpdateCheck");
inline constexpr QLatin1String speechQuality("speechQuality");
inline constexpr QLatin1String styleAdvisor("styleAdvisor");
inline constexpr QLatin1String advisorStyle("advisorStyle");
inline constexpr QLatin1String advisorIntensity("advisorIntensity");
inline constexpr QLatin1String history("history");
inline constexpr QLatin1String lastRunVersion("lastRunVersion");
inline constexpr QLatin1String updateFeedURL("updateFeedURL");
inline constexpr QLatin1String skippedUpdateBuild("skippedUpdateBuild");
inline constexpr QLatin1String recognizeWhileRecording("recognizeWhileRecording");
// Whether media players that play are paused while a recording runs.
inline constexpr QLatin1String pauseMedia("pauseMedia");
// The sound server's name of the chosen microphone; absent or empty: the default one.
inline constexpr QLatin1String inputDevice("inputDevice");
// "<file name>:<size>:<digest>" of each model file found to have its pinned digest.
inline constexpr QLatin1String verifiedModelFiles("verifiedModelFiles");
// How fast each model recognized here (RecognitionSpeed), and the models the user was told are slower than speech.
inline constexpr QLatin1String recognitionSpeeds("recognitionSpeeds");
inline constexpr QLatin1String slowModelsTold("slowModelsTold");
// The user's profiles of programs, "program=profile" each, above the built-in ones; the profile of the others.
inline constexpr QLatin1String appProfiles("appProfiles");
inline constexpr QLatin1String defaultProfile("defaultProfile");
// The programs the last texts were pasted into, newest first, to choose from for a profile.
inline constexpr QLatin1String recentPrograms("recentPrograms");
// Whether the words the user fixes after a paste are offered for the dictionary; the pairs declined, "wrong=right".
inline constexpr QLatin1String learnFromCorrections("learnFromCorrections");
inline constexpr QLatin1String declinedCorrections("declinedCorrections");
} // namespace SettingsKey

// The user's preferences, in an INI file ($XDG_CONFIG_HOME/Tolvan/Tolvan.conf for the shared store).
// Reads go to the file every time, so a value written by another store, another process or by hand is
// seen by the next read; a key never written answers its registered default, which is never written to
// the file. The history holds the user's words: the file is readable by the user alone (0600, in a 0700
// folder), however it was created. Safe to use from any thread.
class SettingsStore
{
public:
    static constexpr int historyLimit = 20;
    static constexpr int advisorIntensityMaximum = 10;

    // The process's store, created on first use.
    static SettingsStore& shared();
    // Key, default: the answers for keys that were never written.
    static const std::vector<std::pair<QLatin1String, QVariant>>& registeredDefaults();

    explicit SettingsStore(const QString& filePath);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool boolForKey(QAnyStringView key) const;
    qint64 integerForKey(QAnyStringView key) const;
    // Nothing for a key that was never written and has no default, or that holds a list.
    std::optional<QString> stringForKey(QAnyStringView key) const;
    QStringList stringArrayForKey(QAnyStringView key) const;

    void setBool(QAnyStringView key, bool value);
    // "advisorIntensity" is always stored within 0…10.
    void setInteger(QAnyStringView key, qint64 value);
    void setString(QAnyStringView key, const QString& value);
    void setStringArray(QAnyStringView key, const QStringList& value);

    // The stored output format name, "markdown" when absent.
    QString outputFormat() const;
    // The last delivered texts, newest first.
    QStringList history() const;
    // Stores at most the first 20 entries.
    void setHistory(const QStringList& entries);
    void prependToHistory(const QString& text);
    // "updateFeedURL" when it holds an absolute URL; otherwise the feed built into the application.
    QUrl updateFeedURL() const;

private:
    void keepPrivate() const;
    QVariant read(QAnyStringView key) const;
    void write(QAnyStringView key, const QVariant& value);

    mutable std::mutex mutex_;
    mutable QSettings settings_;
};
