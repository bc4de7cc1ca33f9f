#include "text/PieceJoining.h"

#include "text/CodePoints.h"
#include "text/TextKeys.h"

#include <QSet>

namespace
{

// Before these a comma stands where the period was: «Я пришёл, а его не было».
const QSet<QString>& conjunctionsAfterComma()
{
    static const QSet<QString> words{
        QStringLiteral("а"),        QStringLiteral("но"),      QStringLiteral("зато"),     QStringLiteral("что"),
        QStringLiteral("чтобы"),    QStringLiteral("потому"),  QStringLiteral("который"),  QStringLiteral("которая"),
        QStringLiteral("которое"),  QStringLiteral("которые"), QStringLiteral("которого"), QStringLiteral("которой"),
        QStringLiteral("которому"), QStringLiteral("которую"), QStringLiteral("которым"),  QStringLiteral("котором"),
        QStringLiteral("которых"),  QStringLiteral("которыми")};
    return words;
}

const QSet<QString>& conjunctionsWithoutComma()
{
    static const QSet<QString> words{QStringLiteral("и"), QStringLiteral("или"), QStringLiteral("либо")};
    return words;
}

// Words no sentence ends with.
const QSet<QString>& danglingWords()
{
    static const QSet<QString> words{
        QStringLiteral("в"),   QStringLiteral("во"),     QStringLiteral("на"),      QStringLiteral("с"),
        QStringLiteral("со"),  QStringLiteral("к"),      QStringLiteral("ко"),      QStringLiteral("по"),
        QStringLiteral("о"),   QStringLiteral("об"),     QStringLiteral("от"),      QStringLiteral("до"),
        QStringLiteral("из"),  QStringLiteral("у"),      QStringLiteral("за"),      QStringLiteral("для"),
        QStringLiteral("без"), QStringLiteral("под"),    QStringLiteral("над"),     QStringLiteral("при"),
        QStringLiteral("про"), QStringLiteral("через"),  QStringLiteral("и"),       QStringLiteral("а"),
        QStringLiteral("но"),  QStringLiteral("или"),    QStringLiteral("что"),     QStringLiteral("чтобы"),
        QStringLiteral("не"),  QStringLiteral("потому"), QStringLiteral("который"), QStringLiteral("если")};
    return words;
}

// Cut short by a full stop: «т. д.», «др.», «г.».
const QSet<QString>& abbreviations()
{
    static const QSet<QString> words{QStringLiteral("т"),   QStringLiteral("д"),   QStringLiteral("п"),
                                     QStringLiteral("е"),   QStringLiteral("др"),  QStringLiteral("пр"),
                                     QStringLiteral("г"),   QStringLiteral("гг"),  QStringLiteral("см"),
                                     QStringLiteral("руб"), QStringLiteral("коп"), QStringLiteral("тыс"),
                                     QStringLiteral("ул"),  QStringLiteral("им"),  QStringLiteral("стр")};
    return words;
}

// Names a recognizer capitalizes that may follow a preposition: «в» + «Москве».
bool isCommonName(const QString& folded)
{
    static const QStringView stems[] = {u"москв",  u"росси", u"петербург", u"питер",  u"европ", u"америк", u"бог",
                                        u"господ", u"кита",  u"германи",   u"франци", u"англи", u"украин", u"сибир"};
    return std::any_of(std::begin(stems), std::end(stems), [&](QStringView stem) { return folded.startsWith(stem); });
}

QString firstWord(const QString& text)
{
    qsizetype end = 0;
    while (end < text.size() && text.at(end).isLetter())
        ++end;
    return text.left(end);
}

QString lastWord(const QString& text)
{
    qsizetype start = text.size();
    while (start > 0 && text.at(start - 1).isLetter())
        --start;
    return text.mid(start);
}

// A capital that marks a name or an abbreviation, not the start of a piece: «Я», «ООО», «iPhone», or a word
// the pieces spell with a capital where no sentence starts.
bool keepsCapital(const QString& word, const QStringList& pieces)
{
    if (word == u"Я" || word.mid(1) != word.mid(1).toLower() || isCommonName(TextKeys::foldInPlace(word)))
        return true;
    for (const QString& piece : pieces) {
        for (qsizetype at = piece.indexOf(word, 1); at > 0; at = piece.indexOf(word, at + 1)) {
            const QStringView before = QStringView(piece).left(at).trimmed();
            const qsizetype end = at + word.size();
            const bool wholeWord = !piece.at(at - 1).isLetter() && (end == piece.size() || !piece.at(end).isLetter());
            if (wholeWord && !before.isEmpty() && !QStringView(u".!?…").contains(before.back()))
                return true;
        }
    }
    return false;
}

// `before` with its final full stop taken off where `next` goes on with its sentence; `next` then starts
// with a small letter.
void joinAcross(QString& before, QString& next, const QStringList& pieces)
{
    if (before.isEmpty() || next.isEmpty() || !CodePoints::startsWithUpper(next))
        return;
    const bool endsWithPeriod = before.endsWith(u'.') && !before.endsWith(QStringLiteral(".."));
    const QString text = endsWithPeriod ? before.chopped(1) : before;
    if (text.isEmpty() || (!text.back().isLetterOrNumber() && !QStringView(u",;:—–-").contains(text.back())))
        return;
    // «т.д.», «А. С.», «3 с.», «XX в.»: the period is the abbreviation's (a one-letter word after a number is one).
    const QString written = lastWord(text);
    const QString last = TextKeys::foldInPlace(written);
    const QString beforeLast = text.chopped(written.size()).trimmed();
    const bool afterNumber =
        !beforeLast.isEmpty() && (beforeLast.back().isDigit() || QStringView(u"IVXLCM").contains(beforeLast.back()));
    if (endsWithPeriod &&
        (abbreviations().contains(last) || (written.size() == 1 && (written.front().isUpper() || afterNumber))))
        return;
    const QString word = firstWord(next);
    const QString folded = TextKeys::foldInPlace(word);
    const bool continues = conjunctionsAfterComma().contains(folded) || conjunctionsWithoutComma().contains(folded);
    if (!(continues || danglingWords().contains(last)) || keepsCapital(word, pieces))
        return;
    before = text;
    if (conjunctionsAfterComma().contains(folded) && !danglingWords().contains(last) && text.back().isLetterOrNumber())
        before += u',';
    next[0] = next.at(0).toLower();
}

} // namespace

namespace PieceJoining
{

QString join(const QStringList& pieces)
{
    QStringList trimmed;
    for (const QString& piece : pieces) {
        if (const QString text = piece.trimmed(); !text.isEmpty())
            trimmed.append(text);
    }
    for (qsizetype index = 1; index < trimmed.size(); ++index)
        joinAcross(trimmed[index - 1], trimmed[index], trimmed);
    return trimmed.join(u' ');
}

} // namespace PieceJoining
