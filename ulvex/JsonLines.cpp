// --json: every indication as one line, a result per board, the summary
// last; nothing else on standard output.
#include "FlashRun.h"
#include "IndicationEvents.h"
#include "ResultEvents.h"

#include <cstdio>

namespace ulvex {

namespace {

class JsonView : public FlashView {
  public:
    explicit JsonView(const Run& run) : start_(run.start) {}

    void Indication(const Board& board, const IndicationRecord& record) override {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
        PrintJson(IndicationEvent(board.job.port, record, static_cast<uint64_t>(ms.count())));
    }

    void Finish(Run& run) override {
        const std::lock_guard lock(run.mutex);
        int ok = 0;
        for (const Board& b : run.boards) {
            const Outcome o = b.Result();
            ok += o.ok ? 1 : 0;
            PrintJson(ResultEvent(b.job.port, o));
        }
        PrintJson(SummaryEvent(static_cast<int>(run.boards.size()), ok));
    }

  private:
    Clock::time_point start_;
};

} // namespace

std::unique_ptr<FlashView> MakeJsonView(const Run& run) {
    return std::make_unique<JsonView>(run);
}

} // namespace ulvex
