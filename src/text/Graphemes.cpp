#include "text/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace
{

// Letters of the Latin and Cyrillic blocks without combining marks: each unit is a cluster of its own.
bool isSingleUnitCluster(char16_t unit)
{
    return (unit >= 0x20 && unit < 0x300) || (unit >= 0x400 && unit < 0x483) || (unit > 0x489 && unit < 0x530);
}

icu::BreakIterator* characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

} // namespace

namespace Graphemes
{

qsizetype count(const QString& text)
{
    const bool simple = std::all_of(text.begin(), text.end(), [](QChar c) { return isSingleUnitCluster(c.unicode()); });
    icu::BreakIterator* iterator = simple ? nullptr : characterIterator();
    if (!iterator)
        return text.size();
    const icu::UnicodeString view(false, reinterpret_cast<const UChar*>(text.utf16()),
                                  static_cast<int32_t>(text.size()));
    iterator->setText(view);
    qsizetype clusters = 0;
    for (int32_t position = iterator->next(); position != icu::BreakIterator::DONE; position = iterator->next())
        ++clusters;
    return clusters;
}

} // namespace Graphemes
