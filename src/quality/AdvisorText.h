#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The text side of the style advisor: the prompts sent to the language model, the reading of its answers,
// and the two joke translators that need no model at all. Pure functions, usable from any thread.
namespace AdvisorText
{
// What the advisor suggests for one phrase.
struct Advice
{
    // 1…5, how well the phrase already fits the style; absent when the answer carried none.
    std::optional<int> score;
    QString text;
    // The answer reads like a refusal or a remark about the phrase rather than a rewrite.
    bool refused = false;

    bool operator==(const Advice&) const = default;
};

struct Style
{
    QString identifier;
    // As shown in menus.
    QString title;
};

// Every style in menu order; "neutral" first.
const std::vector<Style>& styles();
// The menu title of a style; unknown identifiers read as "neutral".
QString styleTitle(const QString& identifier);
// The styles answered by a joke translator instead of the model.
bool isAnimalStyle(const QString& identifier);

QString systemPrompt();
QString styleInstruction(const QString& style);
QString intensityInstruction(qint64 level);
QString userPrompt(const QString& text, const QString& style, qint64 level);
// The JSON body of one chat request: the two messages and the sampling settings, nothing else.
QByteArray chatRequestBody(const QString& text, const QString& style, qint64 level);

// The advice in a chat answer body, or the error that tells what the body began with.
Result<Advice> adviceFromAnswer(const QByteArray& body, const QString& original);
// The start of a body for an error message: at most `limit` bytes, cut back to whole UTF-8 characters;
// empty when those bytes are not UTF-8.
QString bodyPrefix(const QByteArray& body, qsizetype limit);

// Drops a reasoning block, surrounding blanks and one pair of quotes around the whole answer.
QString cleanup(const QString& raw);
Advice parseAdvice(const QString& raw, const QString& original);
// True when the text says something like "sorry" or "this phrase cannot…" that the original did not.
bool looksLikeMeta(const QString& text, const QString& original);
// Every word becomes a dog's (or a cat's) sound chosen by a hash of the word; everything else stays.
QString animalTranslate(const QString& text, bool cat);
} // namespace AdvisorText
