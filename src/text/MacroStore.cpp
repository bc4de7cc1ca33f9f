#include "text/MacroStore.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "text/StringMapFile.h"
#include "text/TextKeys.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <QTimeZone>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <memory>

namespace
{

QString formatted(const QDateTime& instant, const char16_t* pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString(pattern), icu::Locale("ru_RU"), status);
    if (U_FAILURE(status))
        return {};
    const QByteArray zoneId = instant.timeZone().id();
    if (!zoneId.isEmpty()) {
        std::unique_ptr<icu::TimeZone> zone(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneId.toStdString())));
        if (*zone != icu::TimeZone::getUnknown())
            format.adoptTimeZone(zone.release());
    }
    icu::UnicodeString result;
    format.format(static_cast<UDate>(instant.toMSecsSinceEpoch()), result);
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

void replacePlaceholder(QString& text, const QString& placeholder, const QDateTime& instant, const char16_t* pattern)
{
    if (text.contains(placeholder))
        text.replace(placeholder, formatted(instant, pattern));
}

} // namespace

namespace MacroStore
{

QString filePath()
{
    return Paths::dataDir() + QStringLiteral("/macros.json");
}

QByteArray defaultContent()
{
    return QStringLiteral("{\n"
                          "  \"подпись\": \"—\\nС уважением,\\n<ваше имя>\\n<телефон или почта>\",\n"
                          "  \"дата\": \"{дата}\"\n"
                          "}")
        .toUtf8();
}

void ensureFile()
{
    const QString path = filePath();
    if (!QFile::exists(path))
        StringMapFile::writeBytes(path, defaultContent());
}

std::vector<MacroPair> loadRaw()
{
    ensureFile();
    const auto members = StringMapFile::read(filePath());
    if (!members)
        return {};
    std::vector<MacroPair> macros;
    macros.reserve(members->size());
    for (const auto& [trigger, text] : *members)
        macros.push_back({trigger, text});
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(macros.begin(), macros.end(), [&](const MacroPair& left, const MacroPair& right) {
        return collator.compare(left.trigger, right.trigger) < 0;
    });
    return macros;
}

QHash<QString, QString> loadNormalized()
{
    ensureFile();
    const auto members = StringMapFile::read(filePath());
    if (!members) {
        Log::info(QStringLiteral("macros.json не читается (ошибка JSON?) — макросы отключены"));
        return {};
    }
    QHash<QString, QString> macros;
    // Of two triggers with the same key, the first in the file's sorted order wins.
    for (const auto& [trigger, text] : *members) {
        const QString key = TextKeys::normalize(trigger);
        if (!key.isEmpty() && !macros.contains(key))
            macros.insert(key, text);
    }
    return macros;
}

void saveRaw(const std::vector<MacroPair>& macros)
{
    std::map<QString, QString> map;
    for (const MacroPair& macro : macros) {
        const QString trigger = macro.trigger.trimmed();
        if (!trigger.isEmpty())
            map[trigger] = macro.text;
    }
    StringMapFile::write(filePath(), map);
}

QString substitutePlaceholders(const QString& text)
{
    return substitutePlaceholders(text, QDateTime::currentDateTime());
}

QString substitutePlaceholders(const QString& text, const QDateTime& instant)
{
    QString result = text;
    replacePlaceholder(result, QStringLiteral("{дата}"), instant, u"d MMMM yyyy 'г.'");
    replacePlaceholder(result, QStringLiteral("{дата_кратко}"), instant, u"dd.MM.yy");
    replacePlaceholder(result, QStringLiteral("{время}"), instant, u"HH:mm");
    return result;
}

} // namespace MacroStore
