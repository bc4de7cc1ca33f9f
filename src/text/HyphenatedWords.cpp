#include "text/HyphenatedWords.h"

#include "core/Regex.h"

namespace
{

// Letters on neither side: the pattern covers whole words.
QString wholeWords(const QString& pattern)
{
    return QStringLiteral("(?<![\\p{L}\\p{N}-])") + pattern + QStringLiteral("(?![\\p{L}\\p{N}]|-\\p{L})");
}

const QString& pronouns()
{
    static const QString words = QStringLiteral(
        "(?:кто|кого|кому|кем|ком|что|чего|чему|чем|чём|как|где|куда|откуда|когда|почему|зачем|сколько|"
        "какой|какая|какое|какие|какого|какую|каким|какими|каких|какому|чей|чья|чьё|чье|чьи|чьего|чьей|чьих)");
    return words;
}

// The space of each match's group 1 becomes a hyphen.
QString hyphenated(const QString& text, const Regex& pattern)
{
    return pattern.replaceAll(text, [](const Regex::Match& match) {
        QString words = match.captured();
        const qsizetype space = match.start(1) - match.start();
        words[space] = u'-';
        return words;
    });
}

} // namespace

namespace HyphenatedWords
{

QString joined(const QString& text)
{
    static const Regex particles(
        wholeWords(pronouns() + QStringLiteral("( )(?:то|нибудь)(?![ \\x{00A0}]*,[ \\x{00A0}]*(?:что|как))")),
        Regex::CaseInsensitive);
    // «что либо он, либо я»: a «либо» that comes again is the conjunction.
    static const Regex either(wholeWords(pronouns() + QStringLiteral("( )либо(?![^.!?\\n]*\\bлибо)")),
                              Regex::CaseInsensitive);
    static const Regex some(wholeWords(QStringLiteral("кое( )") + pronouns()), Regex::CaseInsensitive);
    static const Regex prepositions(wholeWords(QStringLiteral("из( )(?:за|под)")), Regex::CaseInsensitive);
    static const Regex firstly(wholeWords(QStringLiteral("во( )(?:первых|вторых|третьих)(?=[ \\x{00A0}]*,)")),
                               Regex::CaseInsensitive);
    static const Regex inLanguage(
        wholeWords(QStringLiteral("по( )(?:русски|английски|немецки|французски|испански|итальянски|китайски|"
                                  "японски|украински|польски|латыни|человечески|дружески|детски|"
                                  "братски|отечески|хозяйски|мужски|женски|свойски|советски|простецки|"
                                  "молодецки|турецки|грецки)")),
        Regex::CaseInsensitive);
    // Before a word these are a preposition with its object: «по моему мнению», «по новому адресу».
    static const Regex inManner(
        wholeWords(QStringLiteral("по( )(?:моему|твоему|своему|нашему|вашему|новому|другому|прежнему|разному|"
                                  "настоящему|старому|хорошему|иному|всякому|честному)(?![ \\x{00A0}]+\\p{L})")),
        Regex::CaseInsensitive);
    QString result = text;
    for (const Regex* pattern : {&particles, &either, &some, &prepositions, &firstly, &inLanguage, &inManner})
        result = hyphenated(result, *pattern);
    return result;
}

} // namespace HyphenatedWords
