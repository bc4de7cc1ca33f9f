#include "text/AutoFormatter.h"
#include "text/Corrections.h"
#include "text/Hallucinations.h"
#include "text/MacroStore.h"
#include "text/TextFormatter.h"
#include "text/TranscriptCleaner.h"
#include "text/TranscriptPipeline.h"
#include "text/Typography.h"
#include "text/WindowProfiles.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

namespace
{

// The dictionary and the macros are written to a temporary home, never to the user's.
void useTemporaryHome()
{
    static const std::unique_ptr<QTemporaryDir> home = [] {
        auto directory = std::make_unique<QTemporaryDir>();
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            qputenv(variable, QFile::encodeName(directory->path() + u'/' + QLatin1String(variable)));
        return directory;
    }();
}

const std::array<const char16_t*, 12> syllables{u"ку",  u"бер", u"не",  u"тис", u"лин", u"укс",
                                                u"гит", u"хаб", u"пай", u"тон", u"дже", u"сон"};

// Distinct made-up terms in Cyrillic, the kind of word a recognizer gets wrong.
QString term(int index)
{
    QString word;
    for (int position = 0; position < 4; ++position) {
        word += QString::fromUtf16(syllables[static_cast<size_t>(index % 12)]);
        index /= 12;
    }
    return word;
}

void writeDictionary(int pairCount)
{
    useTemporaryHome();
    std::map<QString, QString> map;
    for (int index = 0; index < pairCount; ++index)
        map[index % 10 == 9 ? term(index) + QStringLiteral(" ") + term(index + 1) : term(index)] =
            QStringLiteral("Term%1").arg(index);
    Corrections::save(map);
}

const std::array<const char16_t*, 10> sentences{u"Сегодня мы обсудили план на следующую неделю и распределили задачи",
                                                u"Во-первых, нужно обновить сервер до новой версии",
                                                u"Во-вторых, проверить резервные копии базы данных",
                                                u"Потом я позвоню заказчику и уточню сроки сдачи",
                                                u"Новый абзац",
                                                u"Кстати, отчёт по продажам почти готов, осталось добавить графики",
                                                u"Нужно купить:",
                                                u"Хлеб",
                                                u"Молоко",
                                                u"Завтра в десять утра встречаемся в переговорной на третьем этаже"};

// A dictation of about `words` words in `segmentCount` timed segments; every seventh word is a dictionary
// term with a Russian ending.
std::vector<SpeechSegment> dictation(int words, int segmentCount)
{
    QStringList all;
    for (int sentence = 0; all.size() < words; ++sentence) {
        QStringList sentenceWords =
            QString::fromUtf16(sentences[static_cast<size_t>(sentence % sentences.size())]).split(u' ');
        for (qsizetype index = 1; index < sentenceWords.size(); index += 7)
            sentenceWords[index] = term((sentence + static_cast<int>(index)) % 10) + QStringLiteral("ом");
        sentenceWords.last() += sentenceWords.last().endsWith(u':') ? QString() : QStringLiteral(".");
        all += sentenceWords;
    }
    std::vector<SpeechSegment> segments;
    const qsizetype perSegment = (all.size() + segmentCount - 1) / segmentCount;
    int64_t clock = 0;
    for (qsizetype first = 0; first < all.size(); first += perSegment) {
        const QString text = all.mid(first, perSegment).join(u' ');
        const int64_t duration = 2600;
        segments.push_back({text, clock, clock + duration, 0.02, -0.25});
        clock += duration + (segments.size() % 9 == 0 ? 1400 : 250);
    }
    return segments;
}

QString joined(const std::vector<SpeechSegment>& segments)
{
    QStringList texts;
    for (const SpeechSegment& segment : segments)
        texts.append(segment.text);
    return texts.join(u' ');
}

// Everything that happens to one recognized dictation before it is inserted.
QString postProcess(const std::vector<SpeechSegment>& recognized)
{
    const auto pairs = Corrections::load();
    std::vector<SpeechSegment> kept;
    for (SpeechSegment segment : recognized) {
        const QString text = Corrections::apply(TranscriptCleaner::clean(segment.text), pairs);
        if (text.isEmpty() || Hallucinations::shouldDrop(text, segment.noSpeechProb, segment.avgLogprob))
            continue;
        segment.text = text;
        kept.push_back(std::move(segment));
    }
    TextFormatter::Config config;
    config.macros = MacroStore::loadNormalized();
    const QStringList triggers = config.macros.keys();
    const QString text =
        AutoFormatter::annotate(kept, QSet<QString>(triggers.begin(), triggers.end())).value_or(joined(kept));
    return Typography::apply(TextFormatter::capitalizeFirstLetter(TextFormatter::process(text, config)), {}).text;
}

void correctionsApply(benchmark::State& state)
{
    writeDictionary(static_cast<int>(state.range(0)));
    const auto pairs = Corrections::load();
    const QString text = joined(dictation(static_cast<int>(state.range(1)), 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(Corrections::apply(text, pairs));
    state.counters["pairs"] = static_cast<double>(pairs.size());
}
BENCHMARK(correctionsApply)
    ->ArgNames({"pairs", "words"})
    ->ArgsProduct({{10, 100, 1000}, {150, 1500}})
    ->Unit(benchmark::kMicrosecond);

void formatterProcessTenMinutes(benchmark::State& state)
{
    useTemporaryHome();
    const QString text = joined(dictation(1500, 200));
    const TextFormatter::Config config{TextFormatter::OutputFormat::markdown,
                                       {{QStringLiteral("подпись"), QStringLiteral("С уважением")}}};
    for (auto _ : state)
        benchmark::DoNotOptimize(TextFormatter::process(text, config));
}
BENCHMARK(formatterProcessTenMinutes)->Unit(benchmark::kMicrosecond);

void autoFormatterAnnotateTenMinutes(benchmark::State& state)
{
    const auto segments = dictation(1500, 200);
    const QSet<QString> triggers{QStringLiteral("подпись"), QStringLiteral("дата")};
    for (auto _ : state)
        benchmark::DoNotOptimize(AutoFormatter::annotate(segments, triggers));
}
BENCHMARK(autoFormatterAnnotateTenMinutes)->Unit(benchmark::kMicrosecond);

// Everything typography changes: quotes, dashes, number words (at a sentence's start too, in set phrases,
// decimal fractions, ranges, centuries), short prepositions, the signs some writers leave, and an address it
// must leave alone.
const std::array<const char16_t*, 11> typesetSentences{
    u"Он сказал: \"Встреча переносится\" - и ушёл",
    u"Двадцать пятого декабря в семь тридцать соберёмся в переговорной",
    u"Бюджет проекта - двести пятьдесят тысяч рублей",
    u"Продажи выросли на пятнадцать процентов за две тысячи двадцать пятый год",
    u"Кто-то из Санкт-Петербурга прислал отчёт по ссылке https://example.com/report-2025",
    u"Три дня назад мы обсудили план и распределили задачи",
    u"Во-первых, нужно обновить сервер, во-вторых - проверить копии",
    u"На совещании было сорок два человека из одиннадцати отделов",
    u"Двадцать пять человек пришли, рост составил ноль целых пять десятых процента",
    u"Цены росли на десять - пятнадцать процентов в тысяча девятьсот девяностом - девяносто втором году",
    u"Я сто раз говорил... В двадцать первом веке мороз -15 градусов в доме №15"};

QString typesetText(int words)
{
    QStringList all;
    for (size_t sentence = 0; all.size() < words; ++sentence)
        all += (QString::fromUtf16(typesetSentences[sentence % typesetSentences.size()]) + u'.').split(u' ');
    return all.join(u' ');
}

// Target: at most 0.5 ms for a minute of dictation (150 words), 5 ms for ten minutes, every rule on.
void typographyApply(benchmark::State& state)
{
    const QString text = typesetText(static_cast<int>(state.range(0)));
    const Typography::Options options{
        .noBreakSpaces = true, .romanCenturies = true, .minusSign = true, .numberSign = true, .ellipsis = true};
    Typography::apply(text, options);
    for (auto _ : state)
        benchmark::DoNotOptimize(Typography::apply(text, options));
}
BENCHMARK(typographyApply)->ArgName("words")->Arg(150)->Arg(1500)->Unit(benchmark::kMicrosecond);

// Target: under 2 ms for one minute with 100 pairs, under 50 ms for ten minutes with 1 000 pairs.
void wholeChain(benchmark::State& state)
{
    writeDictionary(static_cast<int>(state.range(0)));
    MacroStore::ensureFile();
    const auto segments = dictation(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    for (auto _ : state)
        benchmark::DoNotOptimize(postProcess(segments));
}
BENCHMARK(wholeChain)
    ->ArgNames({"pairs", "words", "segments"})
    ->Args({100, 150, 20})
    ->Args({1000, 1500, 200})
    ->Unit(benchmark::kMillisecond);

// Target: at most 1 ms per paste (a phrase of 30 words, 100 pairs, 20 rules of the user's) to find the window's
// profile — for a program no rule names, the longest search — and shape the text with it.
void profileLookupAndShaping(benchmark::State& state)
{
    writeDictionary(100);
    MacroStore::ensureFile();
    std::vector<WindowProfiles::Rule> rules;
    for (int index = 0; index < 20; ++index)
        rules.push_back({QStringLiteral("program-%1").arg(index), TextProfile::chat});
    WindowProfiles::setUserRules(rules);
    const TextProfile profile = TextProfiles::all.at(static_cast<std::size_t>(state.range(0)));
    TranscriptionResult result;
    result.segments = dictation(30, 3);
    const QStringList windowClass{QStringLiteral("someeditor"), QStringLiteral("SomeEditor")};
    for (auto _ : state) {
        benchmark::DoNotOptimize(WindowProfiles::forWindow(windowClass));
        benchmark::DoNotOptimize(TranscriptPipeline::textOf(result, profile));
    }
    state.SetLabel(TextProfiles::key(profile).toStdString());
}
BENCHMARK(profileLookupAndShaping)->DenseRange(0, TextProfiles::all.size() - 1)->Unit(benchmark::kMicrosecond);

} // namespace
