#pragma once

#include <QString>

#include <map>
#include <memory>
#include <vector>

class CorrectionPattern;

// A form the recognizer produces and the spelling to insert instead.
struct CorrectionPair
{
    QString wrong;
    QString right;
    // The compiled form of `wrong`, attached by `Corrections::load` and shared by copies; a pair built
    // elsewhere is compiled (once per process) on first use.
    std::shared_ptr<const CorrectionPattern> pattern = nullptr;

    bool operator==(const CorrectionPair& other) const { return wrong == other.wrong && right == other.right; }
};

// The user's dictionary of corrections in corrections.json, read again on every call so that hand edits
// take effect at the next dictation.
namespace Corrections
{
QString filePath();

// The pairs, longest `wrong` (in user-perceived characters) first. Empty when the file is missing,
// unreadable or not an object of strings.
std::vector<CorrectionPair> load();
// Replaces each `wrong` standing as a word (case-insensitive) by `right`, keeping a Russian ending of up to
// three letters after a single word and carrying a capital first letter over.
QString apply(const QString& text, const std::vector<CorrectionPair>& pairs);
// "Правильные написания: A, B." for the recognizer's prompt; empty when there are none.
QString promptHint(int limit);

// Learns a pair (trimmed, `wrong` lower-cased); nothing when either is blank.
void add(const QString& wrong, const QString& right);
// Forgets the pair stored under exactly this `wrong`.
void remove(const QString& wrong);
void save(const std::map<QString, QString>& map);
} // namespace Corrections
