#include "core/Regex.h"

#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(Regex, OneCompiledPatternServesManyThreads)
{
    const Regex word(QStringLiteral("\\b\\p{L}+\\b"), Regex::CaseInsensitive);
    std::vector<int> counts(4, 0);
    std::vector<std::unique_ptr<QThread>> threads;
    for (size_t index = 0; index < counts.size(); ++index) {
        threads.emplace_back(QThread::create([&word, &counts, index] {
            for (int round = 0; round < 500; ++round)
                counts[index] += static_cast<int>(word.matchAll(QStringLiteral("раз два три")).size());
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    EXPECT_EQ(counts, std::vector<int>(4, 1500));
}
