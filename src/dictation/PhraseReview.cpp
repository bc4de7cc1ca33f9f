#include "dictation/PhraseReview.h"

#include "core/Log.h"

#include <atomic>

namespace
{

class WindowlessReview : public PhraseReview
{
public:
    void show(const QString& text, const QList<SpeechIssue>&, ActiveWindow::WindowId, std::optional<int>, Mode mode,
              DecisionHandler completion) override
    {
        if (mode == Mode::inspect) {
            completion({Decision::close, {}});
            return;
        }
        Log::info(QStringLiteral("Разбор фразы без окна: вставляю её как есть"));
        completion({Decision::insert, text});
    }
    void close() override {}
    std::optional<int> takeRetryScore() override { return std::nullopt; }
};

std::atomic<PhraseReview*> installed{nullptr};

} // namespace

PhraseReview& PhraseReview::shared()
{
    if (PhraseReview* review = installed.load())
        return *review;
    static WindowlessReview fallback;
    return fallback;
}

void PhraseReview::setShared(PhraseReview* review)
{
    installed.store(review);
}
