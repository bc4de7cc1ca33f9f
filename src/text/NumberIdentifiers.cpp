#include "text/NumberIdentifiers.h"

#include "text/TextKeys.h"

#include <QSet>

#include <algorithm>

namespace
{

bool isHorizontalSpace(QChar c)
{
    return c == u' ' || c == u'\u00A0';
}

// «Москва», «г.», «ул.»: what follows the postal code that opens an address.
bool opensAddress(const QString& text, qsizetype end)
{
    static const QSet<QString> words{
        QStringLiteral("г"),       QStringLiteral("гор"),     QStringLiteral("город"), QStringLiteral("обл"),
        QStringLiteral("область"), QStringLiteral("край"),    QStringLiteral("респ"),  QStringLiteral("республика"),
        QStringLiteral("пос"),     QStringLiteral("поселок"), QStringLiteral("с"),     QStringLiteral("село"),
        QStringLiteral("д"),       QStringLiteral("деревня"), QStringLiteral("ул"),    QStringLiteral("улица")};
    if (end >= text.size() || text.at(end) != u',')
        return false;
    qsizetype start = end + 1;
    while (start < text.size() && isHorizontalSpace(text.at(start)))
        ++start;
    qsizetype wordEnd = start;
    while (wordEnd < text.size() && text.at(wordEnd).isLetter())
        ++wordEnd;
    if (wordEnd == start)
        return false;
    const bool town = text.at(start).isUpper() && text.at(start).script() == QChar::Script_Cyrillic;
    return town || words.contains(TextKeys::foldInPlace(text.mid(start, wordEnd - start)));
}

} // namespace

namespace NumberIdentifiers
{

bool namesNumber(const QString& word)
{
    static const QSet<QString> exact{
        QStringLiteral("№"),     QStringLiteral("#"),      QStringLiteral("id"),     QStringLiteral("код"),
        QStringLiteral("кода"),  QStringLiteral("коду"),   QStringLiteral("кодом"),  QStringLiteral("тел"),
        QStringLiteral("инн"),   QStringLiteral("огрн"),   QStringLiteral("кпп"),    QStringLiteral("бик"),
        QStringLiteral("снилс"), QStringLiteral("пин"),    QStringLiteral("счет"),   QStringLiteral("счета"),
        QStringLiteral("счету"), QStringLiteral("счетом"), QStringLiteral("счете"),  QStringLiteral("акт"),
        QStringLiteral("акта"),  QStringLiteral("акту"),   QStringLiteral("актом"),  QStringLiteral("акте"),
        QStringLiteral("чек"),   QStringLiteral("чека"),   QStringLiteral("чеку"),   QStringLiteral("чеком"),
        QStringLiteral("дело"),  QStringLiteral("дела"),   QStringLiteral("делу"),   QStringLiteral("рейс"),
        QStringLiteral("рейса"), QStringLiteral("order"),  QStringLiteral("invoice")};
    static const QStringView stems[] = {
        u"номер",       u"заказ",        u"договор",  u"документ", u"накладн",   u"квитанци", u"артикул", u"индекс",
        u"телефон",     u"пароль",       u"паспорт",  u"полис",    u"заявк",     u"тикет",    u"билет",   u"приказ",
        u"протокол",    u"постановлени", u"поручени", u"платежк",  u"транзакци", u"обращени", u"лицев",   u"инвойс",
        u"счет-фактур", u"статья",       u"статьи",   u"статье",   u"статью",    u"статьей"};
    return exact.contains(word) ||
           std::any_of(std::begin(stems), std::end(stems), [&](QStringView stem) { return word.startsWith(stem); });
}

bool identifies(const QString& text, qsizetype start, qsizetype end)
{
    if (end - start == 6 && opensAddress(text, end))
        return true;
    qsizetype position = start;
    for (int words = 0; words < 3; ++words) {
        while (position > 0 && isHorizontalSpace(text.at(position - 1)))
            --position;
        const qsizetype wordEnd = position;
        while (position > 0 && (text.at(position - 1).isLetter() || text.at(position - 1) == u'-'))
            --position;
        if (position == wordEnd && position > 0 && QStringView(u"№#").contains(text.at(position - 1)))
            return true;
        if (position == wordEnd || namesNumber(TextKeys::foldInPlace(text.mid(position, wordEnd - position))))
            return position != wordEnd;
    }
    return false;
}

} // namespace NumberIdentifiers
