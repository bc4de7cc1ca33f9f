#include "text/Corrections.h"

#include "app/Log.h"
#include "app/Paths.h"
#include "app/Regex.h"
#include "text/CodePoints.h"
#include "text/Graphemes.h"
#include "text/StringMapFile.h"

#include <QHash>
#include <QSet>

#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace
{

// Full case folding, the same folding the regular-expression engine compares with when it ignores case.
QString caseFolded(const QString& text)
{
    icu::UnicodeString folded(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    folded.foldCase();
    return QString(reinterpret_cast<const QChar*>(folded.getBuffer()), folded.length());
}

// The compiled pattern of one `wrong` form. The pattern depends on nothing else, so entries never go stale.
class PairPattern
{
public:
    explicit PairPattern(const QString& wrong) : wrong_(wrong), folded_(caseFolded(wrong)) {}

    // A match in the text is impossible unless the folded text holds the folded form.
    bool mayMatch(const QString& foldedText) const { return foldedText.contains(folded_); }

    const Regex& regex() const
    {
        std::call_once(compiled_, [this] { regex_ = Regex(source(), Regex::CaseInsensitive); });
        return regex_;
    }

    bool isPhrase() const { return wrong_.contains(u' '); }

private:
    QString source() const
    {
        const QString tail = isPhrase() ? QStringLiteral("(?!\\p{L})") : QStringLiteral("([а-яё]{0,3})(?!\\p{L})");
        return QStringLiteral("(?<!\\p{L})") + Regex::escape(wrong_) + tail;
    }

    QString wrong_;
    QString folded_;
    mutable std::once_flag compiled_;
    mutable Regex regex_;
};

// Compiling a pattern costs far more than applying it; dictionaries hold up to thousands of pairs.
class PatternCache
{
public:
    static PatternCache& shared()
    {
        static PatternCache cache;
        return cache;
    }

    std::vector<std::shared_ptr<const PairPattern>> patternsFor(const std::vector<CorrectionPair>& pairs)
    {
        std::vector<std::shared_ptr<const PairPattern>> patterns;
        patterns.reserve(pairs.size());
        std::lock_guard lock(mutex_);
        if (entries_.size() > maximumEntries)
            entries_.clear();
        for (const CorrectionPair& pair : pairs) {
            auto& entry = entries_[pair.wrong];
            if (!entry)
                entry = std::make_shared<const PairPattern>(pair.wrong);
            patterns.push_back(entry);
        }
        return patterns;
    }

private:
    static constexpr qsizetype maximumEntries = 20000;

    std::mutex mutex_;
    QHash<QString, std::shared_ptr<const PairPattern>> entries_;
};

// A capital in the dictated word makes a lower-case spelling start with a capital too, never the reverse.
QString carryCapital(const QString& replacement, QStringView matched)
{
    if (CodePoints::startsWithUpper(matched) && CodePoints::startsWithLower(replacement))
        return CodePoints::upperFirst(replacement);
    return replacement;
}

QString applyPair(const QString& text, const CorrectionPair& pair, const PairPattern& pattern)
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
        measured.push_back({Graphemes::count(wrong), CorrectionPair{wrong, right}});
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
    const auto patterns = PatternCache::shared().patternsFor(pairs);
    QString current = text;
    QString folded = caseFolded(current);
    for (size_t index = 0; index < pairs.size(); ++index) {
        const CorrectionPair& pair = pairs[index];
        const PairPattern& pattern = *patterns[index];
        // An empty form can only come from a hand-edited file; it would match between any two characters.
        if (pair.wrong.isEmpty() || !pattern.mayMatch(folded) || !pattern.regex().isValid())
            continue;
        const QString corrected = applyPair(current, pair, pattern);
        if (corrected != current) {
            current = corrected;
            folded = caseFolded(current);
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
