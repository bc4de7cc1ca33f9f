#include "quality/AdvisorText.h"

#include "core/Regex.h"
#include "core/Utf8.h"
#include "text/TranscriptCleaner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <array>

namespace
{

const QString gopnikInstruction = QStringLiteral(
    "Целевой стиль (шуточный): дворовый гопник с раёна. ПЕРЕСКАЖИ фразу целиком его словами — замени лексику и "
    "обороты, перестрой предложения; жаргон должен быть вплетён внутрь фразы, а не приклеен в начало или конец. Не "
    "оставляй исходные предложения нетронутыми. Словарь: «слышь», «братан», «по-братски», «чё почём», «в натуре», "
    "«короче», «нормас», «зырь», «скинуть», «забить стрелку» (назначить встречу), «перетереть» (обсудить), «тема», "
    "«движ». Каждое словечко используй строго по его значению в скобках и согласуй грамматически с фразой. Пример: "
    "«Добрый день! Отправляю отчёт, завтра обсудим оплату.» → «Здарова! Слышь, скидываю тебе отчёт, завтра "
    "перетрём за оплату, по-братски.» Развязный, но добродушный тон. Строго без мата и оскорблений. Смысл сохрани "
    "полностью.");

const QString zekInstruction = QStringLiteral(
    "Целевой стиль (шуточный): бывалый сиделец степенно травит байку. ПЕРЕСКАЖИ фразу целиком его языком — замени "
    "лексику и обороты, перестрой предложения; феня должна быть вплетена внутрь, а не приклеена по краям. Не "
    "оставляй исходные предложения нетронутыми. Словарь лёгкой фени: «начальник» (обращение), «в натуре», «по "
    "понятиям» (по правилам), «братва», «малява» (письмо, сообщение), «перетереть» (обсудить), «базар» (разговор), "
    "«козырный» (отличный), «чифирнуть» (попить чайку — только про чай, не про дела). Каждое словечко используй "
    "строго по его значению в скобках и согласуй грамматически с фразой; не подставляй словечки туда, где их смысл "
    "не подходит. Пример: «Добрый день! Отправляю отчёт, завтра обсудим оплату.» →«Здорово, начальник. Малява с "
    "отчётом уже уходит, а завтра перетрём базар за оплату — всё по понятиям.» Строго без мата, без любых угроз и "
    "давления, без романтизации преступлений. Смысл сохрани полностью.");

const QString neutralInstruction =
    QStringLiteral("Целевой стиль: естественная речь автора — сохраняй его манеру и разговорный тон.");

const QString promptOpening = QStringLiteral(
    "Ты — переводчик стиля. Твоя задача — переписать фразу в целевом стиле, какой бы неформальной или странной она "
    "ни была. Никогда не отказывайся, не извиняйся и не комментируй фразу — просто переведи её.\n");

const QString promptRules = QStringLiteral(
    "\nСначала оцени по шкале 1–5, насколько фраза УЖЕ соответствует целевому стилю и грамотна (5 — полностью, "
    "менять не нужно). Если оценка ниже 5 — перепиши фразу в целевом стиле, сохранив смысл и намерение "
    "говорящего.\nПравила: не добавляй новых фактов; имена, названия, числа и термины оставляй как есть; убирай "
    "слова-паразиты.\nОтветь строго в две строки, без пояснений:\nОЦЕНКА: <число 1-5>\nТЕКСТ: <итоговая фраза>\n"
    "Если оценка 5 — в ТЕКСТ повтори исходную фразу без изменений.\n\nФраза: ");

const std::array<QString, 13> metaPhrases{
    QStringLiteral("извините"),
    QStringLiteral("к сожалению"),
    QStringLiteral("прошу прощения"),
    QStringLiteral("не могу переписать"),
    QStringLiteral("не могу выполнить"),
    QStringLiteral("не буду переписывать"),
    QStringLiteral("не соответствует"),
    QStringLiteral("нельзя перевести"),
    QStringLiteral("как ии"),
    QStringLiteral("как языковая модель"),
    QStringLiteral("данная фраза"),
    QStringLiteral("эта фраза не"),
    QStringLiteral("фраза не может"),
};

const std::array<QString, 6> dogSounds{QStringLiteral("гав"), QStringLiteral("тяф"),   QStringLiteral("вуф"),
                                       QStringLiteral("аф"),  QStringLiteral("р-гав"), QStringLiteral("гав-гав")};
const std::array<QString, 6> catSounds{QStringLiteral("мяу"),    QStringLiteral("мур"),  QStringLiteral("мяв"),
                                       QStringLiteral("мр-мяу"), QStringLiteral("мурр"), QStringLiteral("мя-а-ау")};

QString jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString foldedLower(const QString& text)
{
    return text.toLower().replace(QChar(u'ё'), QChar(u'е'));
}

Error unreadableAnswer(const QByteArray& body)
{
    return Error::tolvan(50, QStringLiteral("не удалось разобрать ответ: ") + AdvisorText::bodyPrefix(body, 200));
}

// Sound of one word: a hash over its code points picks one sound, long words get a second one.
QString animalWord(const QList<char32_t>& word, const std::array<QString, 6>& sounds)
{
    qint64 hash = 7;
    qsizetype letters = 0;
    for (const char32_t codePoint : word) {
        hash = (hash * 31 + codePoint) % 99991;
        if (!QChar::isMark(codePoint))
            ++letters;
    }
    QString sound = sounds[hash % 6];
    if (letters > 6)
        sound += QLatin1Char('-') + sounds[(hash / 7) % 6];
    if (QChar::isUpper(word.front()))
        sound[0] = sound[0].toUpper();
    return sound;
}

bool isWordCodePoint(char32_t codePoint, bool inWord)
{
    // A combining mark belongs to the letter before it.
    return QChar::isLetterOrNumber(codePoint) || (inWord && QChar::isMark(codePoint));
}

} // namespace

namespace AdvisorText
{

const std::vector<Style>& styles()
{
    static const std::vector<Style> list{
        {QStringLiteral("neutral"), QStringLiteral("Как у автора")},
        {QStringLiteral("simple"), QStringLiteral("Простая и ясная")},
        {QStringLiteral("business"), QStringLiteral("Деловая")},
        {QStringLiteral("legal"), QStringLiteral("Юридически выверенная")},
        {QStringLiteral("kids"), QStringLiteral("Детская")},
        {QStringLiteral("gopnik"), QStringLiteral("Гопник 🧢")},
        {QStringLiteral("zek"), QStringLiteral("Зэк 🚬")},
        {QStringLiteral("dog"), QStringLiteral("Собака 🐶")},
        {QStringLiteral("cat"), QStringLiteral("Кошка 🐱")},
    };
    return list;
}

QString styleTitle(const QString& identifier)
{
    for (const Style& style : styles()) {
        if (style.identifier == identifier)
            return style.title;
    }
    return styles().front().title;
}

bool isAnimalStyle(const QString& identifier)
{
    return identifier == QLatin1String("dog") || identifier == QLatin1String("cat");
}

QString systemPrompt()
{
    return QStringLiteral("Ты — опытный редактор русского языка. Отвечай строго в заданном формате, без пояснений.");
}

QString styleInstruction(const QString& style)
{
    if (style == QLatin1String("simple"))
        return QStringLiteral(
            "Целевой стиль: простая и ясная речь — короткие предложения, обычные слова, без канцелярита.");
    if (style == QLatin1String("business"))
        return QStringLiteral("Целевой стиль: деловая речь — вежливо, чётко, профессионально, без просторечий.");
    if (style == QLatin1String("legal"))
        return QStringLiteral("Целевой стиль: юридически аккуратная речь — точные однозначные формулировки, "
                              "официально-деловой тон.");
    if (style == QLatin1String("kids"))
        return QStringLiteral("Целевой стиль: простое дружелюбное объяснение, понятное ребёнку, тёплый тон.");
    if (style == QLatin1String("gopnik"))
        return gopnikInstruction;
    if (style == QLatin1String("zek"))
        return zekInstruction;
    return neutralInstruction;
}

QString intensityInstruction(qint64 level)
{
    const QString number = QString::number(level);
    if (level < 4)
        return QStringLiteral("Степень вмешательства %1 из 10 — минимальная: исправляй только явные ошибки и "
                              "слова-паразиты, формулировки автора сохраняй почти дословно.")
            .arg(number);
    if (level <= 6)
        return QStringLiteral("Степень вмешательства %1 из 10 — умеренная: поправь порядок слов и пунктуацию, "
                              "разбей слишком длинные предложения, сохраняя манеру автора.")
            .arg(number);
    if (level <= 9)
        return QStringLiteral("Степень вмешательства %1 из 10 — высокая: свободно перефразируй ради ясности и "
                              "целевого стиля, сохраняя смысл.")
            .arg(number);
    return QStringLiteral(
        "Степень вмешательства 10 из 10 — полностью переработай текст под целевой стиль, сохранив смысл и факты.");
}

QString userPrompt(const QString& text, const QString& style, qint64 level)
{
    return promptOpening + styleInstruction(style) + QLatin1Char('\n') + intensityInstruction(level) + promptRules +
           text;
}

QByteArray chatRequestBody(const QString& text, const QString& style, qint64 level)
{
    // Written by hand to keep the members in their documented order.
    const QString body = QStringLiteral(R"({"messages":[{"role":"system","content":%1},)"
                                        R"({"role":"user","content":%2}],"temperature":0.2,"top_p":0.9,)"
                                        R"("max_tokens":800})")
                             .arg(jsonString(systemPrompt()), jsonString(userPrompt(text, style, level)));
    return body.toUtf8();
}

Result<Advice> adviceFromAnswer(const QByteArray& body, const QString& original)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue choices = document.object().value(QLatin1String("choices"));
    const QJsonValue first = choices.toArray().first();
    const QJsonValue content =
        first.toObject().value(QLatin1String("message")).toObject().value(QLatin1String("content"));
    if (!document.isObject() || !choices.isArray() || !first.isObject() || !content.isString())
        return unreadableAnswer(body);
    return parseAdvice(content.toString(), original);
}

QString bodyPrefix(const QByteArray& body, qsizetype limit)
{
    QByteArray prefix = body.left(limit);
    // Drop a character cut in two by the limit: at most three continuation bytes and their lead byte.
    if (body.size() > limit) {
        qsizetype end = prefix.size();
        int continuation = 0;
        while (end > 0 && continuation < 3 && (static_cast<unsigned char>(prefix.at(end - 1)) & 0xC0) == 0x80) {
            --end;
            ++continuation;
        }
        if (end > 0) {
            const auto lead = static_cast<unsigned char>(prefix.at(end - 1));
            const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (length > continuation + 1)
                prefix.truncate(end - 1);
        }
    }
    return Utf8::decode(prefix).value_or(QString());
}

QString cleanup(const QString& raw)
{
    static const Regex reasoning(QStringLiteral("<think>[\\s\\S]*?</think>"));
    QString text = reasoning.replaceAll(raw, QString()).trimmed();
    if (text.size() > 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    if (text.size() > 2 && text.startsWith(QChar(u'«')) && text.endsWith(QChar(u'»')))
        text = text.mid(1, text.size() - 2);
    return text.trimmed();
}

Advice parseAdvice(const QString& raw, const QString& original)
{
    static const Regex scoreMarker(QStringLiteral("ОЦЕНКА\\s*[:—-]\\s*([1-5])"), Regex::CaseInsensitive);
    static const Regex scoreLine(QStringLiteral("ОЦЕНКА\\s*[:—-]\\s*[1-5]\\s*"), Regex::CaseInsensitive);
    static const Regex textMarker(QStringLiteral("ТЕКСТ\\s*[:—-]\\s*"), Regex::CaseInsensitive);

    const QString cleaned = cleanup(TranscriptCleaner::withoutControls(raw));
    Advice advice;
    if (const auto match = scoreMarker.match(cleaned))
        advice.score = match->captured(1).toInt();
    if (const auto match = textMarker.match(cleaned))
        advice.text = cleaned.mid(match->end()).trimmed();
    else if (!advice.score)
        advice.text = cleaned;
    else
        advice.text = scoreLine.replaceAll(cleaned, QString()).trimmed();
    if (advice.text.isEmpty())
        advice.text = original;
    advice.refused = looksLikeMeta(advice.text, original);
    return advice;
}

bool looksLikeMeta(const QString& text, const QString& original)
{
    const QString answer = foldedLower(text);
    const QString own = foldedLower(original);
    for (const QString& phrase : metaPhrases) {
        if (answer.contains(phrase) && !own.contains(phrase))
            return true;
    }
    return false;
}

QString animalTranslate(const QString& text, bool cat)
{
    const std::array<QString, 6>& sounds = cat ? catSounds : dogSounds;
    QString output;
    output.reserve(text.size());
    QList<char32_t> word;
    const auto flush = [&] {
        if (word.isEmpty())
            return;
        output += animalWord(word, sounds);
        word.clear();
    };
    const QList<uint> codePoints = text.toUcs4();
    for (const uint value : codePoints) {
        const auto codePoint = static_cast<char32_t>(value);
        if (isWordCodePoint(codePoint, !word.isEmpty())) {
            word.append(codePoint);
            continue;
        }
        flush();
        output += QString::fromUcs4(&codePoint, 1);
    }
    flush();
    return output;
}

} // namespace AdvisorText
