#include "text/Corrections.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "core/Regex.h"
#include "text/CodePoints.h"
#include "text/CorrectionPattern.h"
#include "text/Graphemes.h"
#include "text/StringMapFile.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <memory>
#include <mutex>

namespace
{

// Compiled patterns by `wrong` form. A pattern depends on nothing else, so an entry never goes stale.
class PatternCache
{
public:
    static PatternCache& shared()
    {
        static PatternCache cache;
        return cache;
    }

    std::shared_ptr<const CorrectionPattern> patternFor(const QString& wrong)
    {
        std::lock_guard lock(mutex_);
        if (entries_.size() > maximumEntries)
            entries_.clear();
        auto& entry = entries_[wrong];
        if (!entry)
            entry = std::make_shared<const CorrectionPattern>(wrong);
        return entry;
    }

private:
    static constexpr qsizetype maximumEntries = 20000;

    std::mutex mutex_;
    QHash<QString, std::shared_ptr<const CorrectionPattern>> entries_;
};

// The pattern `load` attached to the pair, or the cached one for a pair built elsewhere (or edited since).
std::shared_ptr<const CorrectionPattern> patternOf(const CorrectionPair& pair)
{
    if (pair.pattern && pair.pattern->wrong() == pair.wrong)
        return pair.pattern;
    return PatternCache::shared().patternFor(pair.wrong);
}

// A capital in the dictated word makes a lower-case spelling start with a capital too, never the reverse.
QString carryCapital(const QString& replacement, QStringView matched)
{
    if (CodePoints::startsWithUpper(matched) && CodePoints::startsWithLower(replacement))
        return CodePoints::upperFirst(replacement);
    return replacement;
}

QString applyPair(const QString& text, const CorrectionPair& pair, const CorrectionPattern& pattern)
{
    const bool phrase = pattern.isPhrase();
    return pattern.regex().replaceAll(text, [&](const Regex::Match& match) {
        QString replacement = pair.right;
        if (!phrase && match.start(1) >= 0)
            replacement += match.captured(1);
        return carryCapital(replacement, QStringView(text).mid(match.start(), match.length()));
    });
}

std::map<QString, QString> loadMap()
{
    std::map<QString, QString> map;
    for (const CorrectionPair& pair : Corrections::load())
        map[pair.wrong] = pair.right;
    return map;
}

} // namespace

namespace Corrections
{

QString filePath()
{
    return Paths::dataDir() + QStringLiteral("/corrections.json");
}

std::vector<CorrectionPair> load()
{
    const auto members = StringMapFile::read(filePath());
    if (!members)
        return {};
    std::vector<std::pair<qsizetype, CorrectionPair>> measured;
    measured.reserve(members->size());
    for (const auto& [wrong, right] : *members)
        measured.push_back(
            {Graphemes::count(wrong), CorrectionPair{wrong, right, PatternCache::shared().patternFor(wrong)}});
    std::stable_sort(measured.begin(), measured.end(),
                     [](const auto& left, const auto& right) { return left.first > right.first; });
    std::vector<CorrectionPair> pairs;
    pairs.reserve(measured.size());
    for (auto& entry : measured)
        pairs.push_back(std::move(entry.second));
    return pairs;
}

QString apply(const QString& text, const std::vector<CorrectionPair>& pairs)
{
    if (pairs.empty() || text.isEmpty())
        return text;
    QString current = text;
    auto subject = std::make_unique<CorrectionPattern::Subject>(current);
    for (const CorrectionPair& pair : pairs) {
        // An empty form can only come from a hand-edited file; it would match between any two characters.
        if (pair.wrong.isEmpty())
            continue;
        const auto pattern = patternOf(pair);
        if (!pattern->mayMatch(*subject) || !pattern->regex().isValid())
            continue;
        QString corrected = applyPair(current, pair, *pattern);
        if (corrected != current) {
            current = std::move(corrected);
            subject = std::make_unique<CorrectionPattern::Subject>(current);
        }
    }
    return current;
}

QString promptHint(int limit)
{
    QStringList spellings;
    QSet<QString> seen;
    for (const CorrectionPair& pair : load()) {
        if (spellings.size() >= limit)
            break;
        if (!seen.contains(pair.right)) {
            seen.insert(pair.right);
            spellings.append(pair.right);
        }
    }
    if (spellings.isEmpty())
        return {};
    return QStringLiteral("Правильные написания: ") + spellings.join(QStringLiteral(", ")) + u'.';
}

void add(const QString& wrong, const QString& right)
{
    const QString key = wrong.trimmed().toLower();
    const QString spelling = right.trimmed();
    if (key.isEmpty() || spelling.isEmpty())
        return;
    std::map<QString, QString> map = loadMap();
    map[key] = spelling;
    save(map);
    Log::info(QStringLiteral("Словарь: выучено «%1» → «%2»").arg(key, spelling));
}

void remove(const QString& wrong)
{
    std::map<QString, QString> map = loadMap();
    map.erase(wrong);
    save(map);
    Log::info(QStringLiteral("Словарь: забыто «%1»").arg(wrong));
}

void save(const std::map<QString, QString>& map)
{
    StringMapFile::write(filePath(), map);
}

} // namespace Corrections
