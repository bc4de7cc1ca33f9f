#include "text/CorrectionPattern.h"

#include <unicode/unistr.h>

CorrectionPattern::Subject::Subject(const QString& text) : folded_(caseFolded(text))
{
    for (qsizetype index = 1; index < folded_.size(); ++index)
        adjacent_.set(adjacentKey(folded_.at(index - 1), folded_.at(index)));
}

size_t CorrectionPattern::Subject::adjacentKey(QChar first, QChar second)
{
    return ((static_cast<size_t>(first.unicode()) << 6) ^ second.unicode()) & 0xFFFF;
}

CorrectionPattern::CorrectionPattern(const QString& wrong)
    : wrong_(wrong), folded_(caseFolded(wrong)), phrase_(wrong.contains(u' '))
{}

bool CorrectionPattern::mayMatch(const Subject& subject) const
{
    if (folded_.isEmpty())
        return false;
    if (folded_.size() >= 2 && !subject.hasAdjacent(folded_.at(0), folded_.at(1)))
        return false;
    return subject.folded().contains(folded_);
}

const Regex& CorrectionPattern::regex() const
{
    std::call_once(compiled_, [this] { regex_ = Regex(source(), Regex::CaseInsensitive); });
    return regex_;
}

QString CorrectionPattern::caseFolded(const QString& text)
{
    icu::UnicodeString folded(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    folded.foldCase();
    return QString(reinterpret_cast<const QChar*>(folded.getBuffer()), folded.length());
}

QString CorrectionPattern::source() const
{
    const QString tail = phrase_ ? QStringLiteral("(?!\\p{L})") : QStringLiteral("([а-яё]{0,3})(?!\\p{L})");
    return QStringLiteral("(?<!\\p{L})") + Regex::escape(wrong_) + tail;
}
