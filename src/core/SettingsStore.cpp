#include "core/SettingsStore.h"

#include "BuildInfo.h"
#include "core/Paths.h"
#include "core/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace
{

const QString defaultPrompt = QStringLiteral(
    "Диктовка на русском языке. Пунктуация расставлена корректно. Возможны команды: новый абзац, новая строка, "
    "заголовок, подзаголовок, список, нумерованный список, пункт, конец списка.");

bool isList(const QVariant& value)
{
    const int type = value.typeId();
    return type == QMetaType::QStringList || type == QMetaType::QVariantList;
}

// Booleans as a hand-edited file may hold them: true/yes/1 or any non-zero number.
bool toBool(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes"))
        return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0;
}

qint64 toInteger(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    const QString text = value.toString().trimmed();
    bool isNumber = false;
    if (const qint64 integer = text.toLongLong(&isNumber); isNumber)
        return integer;
    if (const double number = text.toDouble(&isNumber); isNumber && number > -0x1p63 && number < 0x1p63)
        return static_cast<qint64>(number);
    return toBool(value) ? 1 : 0;
}

} // namespace

SettingsStore& SettingsStore::shared()
{
    static SettingsStore store(Paths::settingsFile());
    return store;
}

const std::vector<std::pair<QLatin1String, QVariant>>& SettingsStore::registeredDefaults()
{
    static const std::vector<std::pair<QLatin1String, QVariant>> defaults{
        {SettingsKey::language, QStringLiteral("ru")},
        {SettingsKey::togglePreset, QStringLiteral("cmdShiftSpace")},
        {SettingsKey::pttEnabled, true},
        {SettingsKey::pttKey, QStringLiteral("rightAlt")},
        {SettingsKey::autoPaste, true},
        {SettingsKey::restoreClipboard, false},
        {SettingsKey::sounds, true},
        {SettingsKey::appendSpace, true},
        {SettingsKey::prompt, defaultPrompt},
        {SettingsKey::firstRunDone, false},
        {SettingsKey::formattingEnabled, true},
        {SettingsKey::autoFormat, true},
        {SettingsKey::outputFormat, QStringLiteral("markdown")},
        {SettingsKey::typographyQuotes, true},
        {SettingsKey::typographyDashes, true},
        {SettingsKey::typographyNumbers, true},
        {SettingsKey::typographyNoBreakSpaces, false},
        {SettingsKey::typographyRomanCenturies, false},
        {SettingsKey::typographyMinusSign, false},
        {SettingsKey::typographyNumberSign, false},
        {SettingsKey::typographyEllipsis, false},
        {SettingsKey::autoUpdateCheck, true},
        {SettingsKey::speechQuality, QStringLiteral("highlight")},
        {SettingsKey::styleAdvisor, false},
        {SettingsKey::advisorStyle, QStringLiteral("neutral")},
        {SettingsKey::advisorIntensity, qint64{5}},
        {SettingsKey::recognizeWhileRecording, true},
        {SettingsKey::pauseMedia, true},
        {SettingsKey::defaultProfile, QStringLiteral("document")},
        {SettingsKey::learnFromCorrections, false},
    };
    return defaults;
}

SettingsStore::SettingsStore(const QString& filePath) : settings_(filePath, QSettings::IniFormat)
{
    // A file of an earlier version, or one put there by hand, may still be open to others.
    if (QFileInfo::exists(filePath))
        keepPrivate();
}

void SettingsStore::keepPrivate() const
{
    PrivateFiles::ensureDirectory(QFileInfo(settings_.fileName()).path());
    QFile::setPermissions(settings_.fileName(), PrivateFiles::fileMode);
}

QVariant SettingsStore::read(QAnyStringView key) const
{
    {
        std::lock_guard lock(mutex_);
        // Picks up changes made by other stores, other processes or by hand.
        settings_.sync();
        const QVariant stored = settings_.value(key);
        if (stored.isValid())
            return stored;
    }
    const auto& defaults = registeredDefaults();
    const auto registered =
        std::find_if(defaults.begin(), defaults.end(), [&](const auto& entry) { return key == entry.first; });
    return registered == defaults.end() ? QVariant() : registered->second;
}

void SettingsStore::write(QAnyStringView key, const QVariant& value)
{
    std::lock_guard lock(mutex_);
    // The folder first: QSettings writes a new file beside the old one and renames it into place.
    PrivateFiles::ensureDirectory(QFileInfo(settings_.fileName()).path());
    settings_.setValue(key, value);
    settings_.sync();
    QFile::setPermissions(settings_.fileName(), PrivateFiles::fileMode);
}

bool SettingsStore::boolForKey(QAnyStringView key) const
{
    const QVariant value = read(key);
    return value.isValid() && !isList(value) && toBool(value);
}

qint64 SettingsStore::integerForKey(QAnyStringView key) const
{
    const QVariant value = read(key);
    return value.isValid() && !isList(value) ? toInteger(value) : 0;
}

std::optional<QString> SettingsStore::stringForKey(QAnyStringView key) const
{
    const QVariant value = read(key);
    if (!value.isValid() || isList(value))
        return std::nullopt;
    return value.toString();
}

QStringList SettingsStore::stringArrayForKey(QAnyStringView key) const
{
    const QVariant value = read(key);
    if (!value.isValid())
        return {};
    // The INI file cannot tell a one-element list from a plain string.
    return isList(value) ? value.toStringList() : QStringList{value.toString()};
}

void SettingsStore::setBool(QAnyStringView key, bool value)
{
    write(key, value);
}

void SettingsStore::setInteger(QAnyStringView key, qint64 value)
{
    if (key == SettingsKey::advisorIntensity)
        value = std::clamp<qint64>(value, 0, advisorIntensityMaximum);
    write(key, value);
}

void SettingsStore::setString(QAnyStringView key, const QString& value)
{
    write(key, value);
}

void SettingsStore::setStringArray(QAnyStringView key, const QStringList& value)
{
    write(key, value);
}

QString SettingsStore::outputFormat() const
{
    return stringForKey(SettingsKey::outputFormat).value_or(QStringLiteral("markdown"));
}

QStringList SettingsStore::history() const
{
    return stringArrayForKey(SettingsKey::history);
}

void SettingsStore::setHistory(const QStringList& entries)
{
    setStringArray(SettingsKey::history, entries.mid(0, historyLimit));
}

void SettingsStore::prependToHistory(const QString& text)
{
    QStringList entries = history();
    entries.prepend(text);
    setHistory(entries);
}

QUrl SettingsStore::updateFeedURL() const
{
    if (const auto stored = stringForKey(SettingsKey::updateFeedURL)) {
        const QUrl url(*stored, QUrl::StrictMode);
        if (url.isValid() && !url.isRelative())
            return url;
    }
    return QUrl(QString::fromUtf8(BuildInfo::updateFeed));
}
