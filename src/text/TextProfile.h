#pragma once

#include <QString>

#include <array>
#include <optional>

// How a dictated text is shaped for the kind of program it lands in. The switches of the «Форматирование» tab
// are the document's; the other profiles keep of them what suits their programs.
enum class TextProfile
{
    document,
    chat,
    code,
    terminal,
    raw,
};

namespace TextProfiles
{
enum class FinalPeriod
{
    keep,
    // A message of one sentence ends without it; a longer text keeps it.
    dropInOneSentence,
    drop,
};

struct Shaping
{
    // Lists and headings from the pauses, where the user turned them on.
    bool autoFormat = true;
    // The user's typography switches; without them quotes, dashes, numbers and spaces stay as recognized.
    bool typography = true;
    // Spaces at punctuation, abbreviations, hyphens in words, a sentence's capital after a period or a line break.
    bool corrections = true;
    bool firstCapital = true;
    FinalPeriod finalPeriod = FinalPeriod::keep;
    // No line feed or space at the end: in a terminal a line feed runs the command line.
    bool trimEnd = false;
    // The user's quality mode (the review, cleaning, the style advisor) applies.
    bool speechQuality = true;
};

inline constexpr std::array<TextProfile, 5> all{TextProfile::document, TextProfile::chat, TextProfile::code,
                                                TextProfile::terminal, TextProfile::raw};

const Shaping& shaping(TextProfile profile);
// «Документ», «Переписка», «Код», «Терминал», «Без обработки».
QString title(TextProfile profile);
// The name in the settings file: "document", "chat", "code", "terminal", "raw".
QString key(TextProfile profile);
std::optional<TextProfile> fromKey(const QString& key);
// The text with its final period kept or dropped by the rule. Only a lone period goes: «…», «?», «!» and the
// period of an abbreviation or an initial («и т. д.») stay.
QString withFinalPeriod(const QString& text, FinalPeriod rule);
} // namespace TextProfiles
