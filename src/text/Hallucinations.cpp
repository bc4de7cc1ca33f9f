#include "text/Hallucinations.h"

#include "core/Regex.h"
#include "text/TextKeys.h"

#include <algorithm>
#include <vector>

namespace
{

std::vector<Regex> compiled(std::initializer_list<const char16_t*> patterns)
{
    std::vector<Regex> list;
    for (const char16_t* pattern : patterns)
        list.emplace_back(QString::fromUtf16(pattern));
    return list;
}

// Written for normalized text: lower case, "е" for "ё", only letters, digits and single spaces.
const std::vector<Regex>& alwaysDropped()
{
    static const std::vector<Regex> patterns = compiled({
        u"^редактор субтитров .{1,60}$",
        u"^корректор [а-яa-z] [а-яa-z]{2,25}$",
        u"редактор субтитров .{1,40} корректор",
        u"^субтитры (сделал|делал|делала|создал|создавал|подготовил|подготовила|подготовлены)( .{1,50})?$",
        u"^субтитры (от|по заказу) .{1,50}$",
        u"^перевод и субтитры .{0,50}$",
        // The watermark of the subtitle-sharing site Amara (amara.org).
        u"amara org",
        u"^subtitles by .{1,60}$",
        u"^subs by .{1,60}$",
        u"^zaltovirk$",
    });
    return patterns;
}

const std::vector<Regex>& droppedWhenSuspicious()
{
    static const std::vector<Regex> patterns = compiled({
        u"^спасибо за просмотр.{0,20}$",
        u"^продолжение следует.{0,10}$",
        u"^подписывайтесь на .{1,60}$",
        u"^ставьте лайки?.{0,60}$",
        u"^до новых встреч.{0,15}$",
        u"^thanks? for watching.{0,20}$",
    });
    return patterns;
}

bool anyMatches(const std::vector<Regex>& patterns, const QString& text)
{
    return std::any_of(patterns.begin(), patterns.end(), [&](const Regex& pattern) { return pattern.contains(text); });
}

bool isSuspicious(double noSpeech, double logprob)
{
    return noSpeech > 0.85 || (noSpeech > 0.5 && logprob < -0.7);
}

bool isSilent(double noSpeech, double logprob)
{
    return noSpeech > 0.9 && logprob < -1.0;
}

} // namespace

namespace Hallucinations
{

bool shouldDrop(const QString& text, double noSpeech, double logprob)
{
    const QString normalized = TextKeys::normalize(text);
    if (normalized.isEmpty())
        return true;
    if (anyMatches(alwaysDropped(), normalized))
        return true;
    if (!isSuspicious(noSpeech, logprob))
        return false;
    return anyMatches(droppedWhenSuspicious(), normalized) || isSilent(noSpeech, logprob);
}

} // namespace Hallucinations
