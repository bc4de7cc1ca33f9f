#pragma once

#include "text/Typography.h"

#include <gtest/gtest.h>

#include <span>

namespace TypographyRows
{
struct Row
{
    const char16_t* input;
    // Nothing: the text must stay exactly as it is and no rule may report a change.
    const char16_t* expected;
    Typography::Options options = {};
};

// "⍽" stands for a no-break space.
inline QString withNoBreakSpaces(const char16_t* text)
{
    return QString::fromUtf16(text).replace(u'⍽', u'\u00A0');
}

inline void expectTypeset(std::span<const Row> rows)
{
    for (const Row& row : rows) {
        const QString input = withNoBreakSpaces(row.input);
        const Typography::Result result = Typography::apply(input, row.options);
        EXPECT_EQ(result.text.toStdString(), (row.expected ? withNoBreakSpaces(row.expected) : input).toStdString())
            << input.toStdString();
        if (!row.expected) {
            EXPECT_TRUE(result.fired.empty()) << input.toStdString();
        }
    }
}
} // namespace TypographyRows
