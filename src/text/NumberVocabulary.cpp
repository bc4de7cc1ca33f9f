#include "text/NumberVocabulary.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>

namespace
{

struct WordHash
{
    using is_transparent = void;
    size_t operator()(std::u16string_view word) const { return std::hash<std::u16string_view>{}(word); }
};
using WordSet = std::unordered_set<std::u16string, WordHash, std::equal_to<>>;

bool contains(const WordSet& words, QStringView word)
{
    return words.find(std::u16string_view(reinterpret_cast<const char16_t*>(word.utf16()),
                                          static_cast<size_t>(word.size()))) != words.end();
}

WordSet formsOf(std::initializer_list<std::u16string_view> stems, std::initializer_list<std::u16string_view> endings)
{
    WordSet forms;
    for (const std::u16string_view stem : stems) {
        for (const std::u16string_view ending : endings)
            forms.insert(std::u16string(stem).append(ending));
    }
    return forms;
}

const std::initializer_list<std::u16string_view> masculineEndings{u"",  u"а",  u"у",  u"ом",  u"е",
                                                                  u"ы", u"ов", u"ам", u"ами", u"ах"};

} // namespace

namespace NumberVocabulary
{

bool isUnit(QStringView word)
{
    static const WordSet words = [] {
        WordSet units = formsOf({u"доллар", u"цент", u"метр", u"километр", u"сантиметр", u"миллиметр", u"грамм",
                                 u"килограмм", u"литр", u"миллилитр", u"градус", u"гектар", u"байт", u"килобайт",
                                 u"мегабайт", u"гигабайт", u"терабайт"},
                                masculineEndings);
        units.merge(formsOf({u"рубл", u"юан"}, {u"ь", u"я", u"ю", u"ем", u"е", u"и", u"ей", u"ям", u"ями", u"ях"}));
        units.merge(formsOf({u"копе"}, {u"йка", u"йки", u"йке", u"йку", u"йкой", u"ек", u"йкам", u"йками", u"йках"}));
        units.merge(formsOf({u"тонн"}, {u"", u"а", u"ы", u"е", u"у", u"ой", u"ам", u"ами", u"ах"}));
        units.merge(formsOf({u"евро", u"км", u"м", u"см", u"мм", u"кг", u"г", u"т", u"л", u"мл", u"руб", u"коп", u"тыс",
                             u"млн", u"млрд", u"₽", u"$", u"€", u"°"},
                            {u""}));
        return units;
    }();
    return contains(words, word);
}

bool isPercent(QStringView word)
{
    static const WordSet words = [] {
        WordSet percent = formsOf({u"процент"}, masculineEndings);
        percent.insert(u"%");
        return percent;
    }();
    return contains(words, word);
}

bool isMonth(QStringView word)
{
    static const WordSet words{u"января", u"февраля", u"марта",    u"апреля",  u"мая",    u"июня",
                               u"июля",   u"августа", u"сентября", u"октября", u"ноября", u"декабря"};
    return contains(words, word);
}

bool isYear(QStringView word)
{
    static const WordSet words = [] {
        WordSet years = formsOf({u"год"}, {u"", u"а", u"у", u"ом", u"е", u"ы", u"ов", u"ам", u"ами", u"ах"});
        years.insert({u"г", u"гг"});
        return years;
    }();
    return contains(words, word);
}

bool isCentury(QStringView word)
{
    static const WordSet words = [] {
        WordSet centuries = formsOf({u"век"}, masculineEndings);
        centuries.merge(formsOf({u"тысячелети"}, {u"е", u"я", u"ю", u"ем", u"и", u"й", u"ям", u"ями", u"ях"}));
        return centuries;
    }();
    return contains(words, word);
}

bool isHour(QStringView word)
{
    static const WordSet words{u"утра", u"дня", u"вечера", u"ночи", u"час", u"часа", u"часов", u"часам"};
    return contains(words, word);
}

bool isTimePreposition(QStringView word)
{
    static const WordSet words{u"в", u"во", u"к", u"ко", u"до", u"с", u"со", u"после", u"около"};
    return contains(words, word);
}

bool continuesNumber(QStringView word)
{
    static const WordSet words = [] {
        WordSet forms = formsOf({u"дво", u"тро"}, {u"е", u"их", u"им", u"ими"});
        forms.merge(formsOf({u"четвер", u"пятер", u"шестер", u"семер", u"восьмер", u"девятер", u"десятер"},
                            {u"о", u"ых", u"ым", u"ыми"}));
        forms.merge(formsOf({u"полтор", u"полутор"}, {u"а", u"ы"}));
        return forms;
    }();
    return contains(words, word) || isWhole(word);
}

bool isHomograph(QStringView word)
{
    return word == u"сорока";
}

bool isWhole(QStringView word)
{
    static const WordSet words = formsOf({u"цел"}, {u"ая", u"ой", u"ую", u"ых", u"ым", u"ыми"});
    return contains(words, word);
}

int decimalPlaces(QStringView word)
{
    static const std::initializer_list<std::u16string_view> endings{u"ая", u"ой", u"ую", u"ых", u"ым", u"ыми"};
    static const WordSet places[] = {formsOf({u"десят"}, endings), formsOf({u"сот"}, endings),
                                     formsOf({u"тысячн"}, endings), formsOf({u"десятитысячн"}, endings)};
    for (int place = 0; place < 4; ++place) {
        if (contains(places[place], word))
            return place + 1;
    }
    return 0;
}

QString pluralAfterRange(QStringView word, QStringView wordBeforeRange)
{
    const bool dative = wordBeforeRange == u"к" || wordBeforeRange == u"ко" || wordBeforeRange == u"по";
    static const std::pair<QStringView, QStringView> plurals[] = {
        {u"год", u"годы"}, {u"года", u"годов"}, {u"годом", u"годами"}, {u"годе", u"годах"},
        {u"г", u"гг"},     {u"век", u"века"},   {u"веком", u"веками"}, {u"веке", u"веках"},
    };
    if (word == u"году" || word == u"веку")
        return word.chopped(1).toString() + (dative ? QStringLiteral("ам") : QStringLiteral("ах"));
    for (const auto& [singular, plural] : plurals) {
        if (word == singular)
            return plural.toString();
    }
    return word.toString();
}

bool countsApproximately(QStringView word)
{
    static const WordSet words{u"человек", u"лет",    u"года",  u"дней",   u"дня",     u"недель", u"недели",
                               u"месяцев", u"месяца", u"минут", u"минуты", u"часов",   u"часа",   u"секунд",
                               u"раз",     u"раза",   u"штук",  u"штуки",  u"страниц", u"шагов",  u"километров",
                               u"метров",  u"рублей", u"тысяч", u"тысячи", u"домов",   u"книг",   u"писем"};
    return contains(words, word);
}

bool isNumberedNoun(QStringView word)
{
    static const WordSet words = [] {
        WordSet nouns =
            formsOf({u"дом",        u"вагон",   u"кабинет", u"корпус", u"подъезд",  u"офис",   u"автобус",  u"трамвай",
                     u"троллейбус", u"маршрут", u"рейс",    u"поезд",  u"пункт",    u"приказ", u"протокол", u"договор",
                     u"счет",       u"заказ",   u"билет",   u"ряд",    u"цех",      u"склад",  u"терминал", u"выход",
                     u"класс",      u"вариант", u"вопрос",  u"раздел", u"параграф", u"том",    u"этаж",     u"участок",
                     u"отряд",      u"урок",    u"сезон",   u"выпуск"},
                    masculineEndings);
        nouns.merge(formsOf({u"квартир", u"комнат", u"школ", u"палат", u"глав", u"страниц", u"платформ", u"групп",
                             u"задач", u"больниц", u"поликлиник"},
                            {u"а", u"ы", u"и", u"е", u"у", u"ой", u"", u"ам", u"ами", u"ах"}));
        nouns.merge(formsOf({u"лини", u"стать", u"сери", u"гимнази"}, {u"я", u"и", u"ю", u"ей", u"е"}));
        nouns.merge(formsOf({u"мест", u"упражнени", u"задани", u"отделени"}, {u"о", u"а", u"у", u"е", u"ом"}));
        return nouns;
    }();
    return contains(words, word);
}

const std::vector<FixedPhrase>& fixedPhrases()
{
    static const std::vector<FixedPhrase> phrases{
        {{}, {u"сто", u"раз"}},
        {{}, {u"сто", u"лет"}},
        {{}, {u"сто", u"крат"}},
        {{}, {u"сто", u"пудов"}},
        {{u"на", u"все"}, {u"сто"}},
        {{}, {u"тысячу", u"раз"}},
        {{}, {u"тысячу", u"лет"}},
        {{}, {u"миллион", u"раз"}},
        {{}, {u"сотый", u"раз"}},
        {{}, {u"тысячный", u"раз"}},
        {{}, {u"сорок", u"сороков"}},
        {{}, {u"тридцать", u"три", u"несчастья"}},
        {{}, {u"двадцать", u"два", u"несчастья"}},
    };
    return phrases;
}

} // namespace NumberVocabulary
