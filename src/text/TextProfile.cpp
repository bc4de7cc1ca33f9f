#include "text/TextProfile.h"

#include "text/TextFormatter.h"

namespace TextProfiles
{
namespace
{

using enum FinalPeriod;

struct Entry
{
    TextProfile profile;
    const char16_t* key;
    const char16_t* title;
    Shaping shaping;
};

// autoFormat, typography, corrections, firstCapital, finalPeriod, trimEnd, speechQuality
constexpr std::array<Entry, 5> table{{
    {TextProfile::document, u"document", u"Документ", {true, true, true, true, keep, false, true}},
    {TextProfile::chat, u"chat", u"Переписка", {true, true, true, true, dropInOneSentence, false, true}},
    {TextProfile::code, u"code", u"Код", {true, false, false, true, keep, false, false}},
    {TextProfile::terminal, u"terminal", u"Терминал", {false, false, false, true, drop, true, false}},
    {TextProfile::raw, u"raw", u"Без обработки", {false, false, false, false, keep, false, false}},
}};

constexpr bool inOrder()
{
    for (std::size_t index = 0; index < table.size(); ++index) {
        if (table[index].profile != all[index])
            return false;
    }
    return true;
}
static_assert(inOrder(), "one row per profile, in the order of the enum");

const Entry& entry(TextProfile profile)
{
    return table[static_cast<std::size_t>(profile)];
}

// The word before a final period is a single letter: an initial or the end of «т. д.», «т. п.».
bool endsAnAbbreviation(const QString& text, qsizetype period)
{
    return period >= 1 && text.at(period - 1).isLetter() && (period < 2 || !text.at(period - 2).isLetter());
}

} // namespace

const Shaping& shaping(TextProfile profile)
{
    return entry(profile).shaping;
}

QString title(TextProfile profile)
{
    return QString::fromUtf16(entry(profile).title);
}

QString key(TextProfile profile)
{
    return QString::fromUtf16(entry(profile).key);
}

std::optional<TextProfile> fromKey(const QString& key)
{
    for (const Entry& row : table) {
        if (key == QString::fromUtf16(row.key))
            return row.profile;
    }
    return std::nullopt;
}

QString withFinalPeriod(const QString& text, FinalPeriod rule)
{
    if (rule == keep)
        return text;
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    const qsizetype period = end - 1;
    if (period < 0 || text.at(period) != u'.' || (period > 0 && text.at(period - 1) == u'.') ||
        endsAnAbbreviation(text, period))
        return text;
    if (rule == dropInOneSentence &&
        (text.left(end).contains(u'\n') || TextFormatter::splitSentences(text.left(end)).size() > 1))
        return text;
    return text.left(period) + text.mid(end);
}

} // namespace TextProfiles
