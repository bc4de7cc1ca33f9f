#pragma once

#include <QString>

#include <optional>

// A pasted text inside the field it went to, kept up to date from the field's own reports of what was inserted and
// deleted, so that what the user made of it is known at the moment they move on — before a chat clears its field
// on Enter. Offsets are the bus's: characters, not UTF-16 units.
class PastedRange
{
public:
    // The field's text and where in it the pasted text is (UTF-16 units).
    PastedRange(const QString& text, qsizetype start, qsizetype length);

    // False when the user has moved on: a line break typed or pasted, the pasted text emptied, or a deletion
    // reaching across its edge. The range is then left as it was before the change.
    bool inserted(int start, const QString& text);
    bool deleted(int start, int length);

    // What the pasted text is now.
    QString now() const;
    // The same, when the next paste went to the same field: a paste reported right at the end of this one is no
    // typing of the user's.
    QString nowBefore(const QString& nextPaste) const;
    // The same range in the field's text as read again, when the text around it is the one known here.
    std::optional<QString> within(const QString& text) const;

private:
    // The UTF-16 index of the bus's character offset, or -1 outside the text.
    qsizetype indexOf(int characters) const;

    QString text_;
    qsizetype start_;
    qsizetype end_;
};
