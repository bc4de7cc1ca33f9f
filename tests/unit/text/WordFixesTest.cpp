#include "text/WordFixes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(WordFixes, OnlyAWordOrTwoRespeltCountAndNeverARewriteADeletionOrACaseChange)
{
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const struct
    {
        const char* pasted;
        const char* edited;
        Pairs pairs;
    } rows[] = {
        // A name fixed, also one heard in Russian letters, or in its inflected form.
        {"Привет, это толвон. Как дела?", "Привет, это Толван. Как дела?", {{"толвон", "Толван"}}},
        {"Открой гитхаб и жиру", "Открой GitHub и Jira", {{"гитхаб", "GitHub"}, {"жиру", "Jira"}}},
        {"Я говорил с толвона командой.", "Я говорил с Толвана командой.", {{"толвона", "Толвана"}}},
        // Two words into one, inside a longer text.
        {"Мы пишем на пай тон каждый день", "Мы пишем на Python каждый день", {{"пай тон", "Python"}}},
        // A sentence rewritten, another word altogether, words deleted or added: nothing.
        {"Завтра мы пойдём в кино", "Сегодня вы поедете в театр", {}},
        {"Купи хлеба и молока", "Купи хлеба и сыра", {}},
        {"Это очень очень важно", "Это очень важно", {}},
        {"Это важно", "Это действительно важно", {}},
        // A change of case alone, a form of a common word, no change at all.
        {"привет, мир", "Привет, Мир", {}},
        {"Встреча за столом", "Встреча за столам", {}},
        {"Всё верно.", "Всё верно.", {}},
        // Three places fixed at once are more than a fix.
        {"толвон знает гитхаб и жиру хорошо, очень хорошо знает",
         "Толван знает GitHub и Jira хорошо, очень хорошо знает",
         {}},
        {"", "Толван", {}},
    };
    for (const auto& row : rows) {
        Pairs found;
        for (const CorrectionPair& pair :
             WordFixes::between(QString::fromUtf8(row.pasted), QString::fromUtf8(row.edited)))
            found.emplace_back(pair.wrong.toStdString(), pair.right.toStdString());
        EXPECT_EQ(found, row.pairs) << row.pasted << " → " << row.edited;
    }
}
