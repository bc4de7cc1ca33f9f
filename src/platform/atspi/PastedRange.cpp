#include "platform/atspi/PastedRange.h"

PastedRange::PastedRange(const QString& text, qsizetype start, qsizetype length)
    : text_(text), start_(start), end_(start + length)
{}

bool PastedRange::inserted(int start, const QString& text)
{
    const qsizetype at = indexOf(start);
    if (at < 0 || text.isEmpty())
        return at >= 0;
    const bool touchesRange = at >= start_ && at <= end_;
    if (touchesRange && (text.contains(u'\n') || text.contains(u'\r')))
        return false;
    // Typing on at an edge: a word of its own belongs to the text around, a letter to the pasted word.
    const bool beforeRange = at < start_ || (at == start_ && text.back().isSpace());
    const bool afterRange = at > end_ || (at == end_ && text.front().isSpace());
    text_.insert(at, text);
    if (beforeRange) {
        start_ += text.size();
        end_ += text.size();
    } else if (!afterRange) {
        end_ += text.size();
    }
    return true;
}

bool PastedRange::deleted(int start, int length)
{
    const qsizetype from = indexOf(start);
    const qsizetype to = indexOf(start + length);
    if (from < 0 || to < from)
        return false;
    const qsizetype removed = to - from;
    if (to <= start_) {
        start_ -= removed;
        end_ -= removed;
    } else if (from >= end_) {
        // After the pasted text: nothing of it moves.
    } else if (from >= start_ && to <= end_ && removed < end_ - start_) {
        end_ -= removed;
    } else {
        return false;
    }
    text_.remove(from, removed);
    return true;
}

QString PastedRange::now() const
{
    return text_.mid(start_, end_ - start_);
}

QString PastedRange::nowBefore(const QString& nextPaste) const
{
    const QString text = now();
    const QString next = nextPaste.trimmed();
    if (next.isEmpty() || text.size() <= next.size() || !text.endsWith(next))
        return text;
    return text.chopped(next.size()).trimmed();
}

std::optional<QString> PastedRange::within(const QString& text) const
{
    const qsizetype after = text_.size() - end_;
    const qsizetype length = text.size() - start_ - after;
    if (length < 0 || !text.startsWith(QStringView(text_).left(start_)) ||
        !text.endsWith(QStringView(text_).right(after)))
        return std::nullopt;
    return text.mid(start_, length);
}

qsizetype PastedRange::indexOf(int characters) const
{
    if (characters < 0)
        return -1;
    qsizetype index = 0;
    for (int counted = 0; counted < characters; ++counted) {
        if (index >= text_.size())
            return -1;
        index += text_.at(index).isHighSurrogate() && index + 1 < text_.size() ? 2 : 1;
    }
    return index;
}
