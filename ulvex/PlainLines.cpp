// Output that is not a terminal: one plain line per stage change and per
// tenth of the image, no carriage returns, then the summary table. With
// --quiet the table only.
#include "FlashRun.h"
#include "SummaryTable.h"

#include <cstdio>
#include <map>

namespace ulvex {

namespace {

class LinesView : public FlashView {
  public:
    explicit LinesView(bool quiet) : quiet_(quiet) {}

    void Indication(const Board& board, const IndicationRecord& record) override {
        if (quiet_) {
            return;
        }
        const BoardProgress& p = board.progress;
        if (record.code == PROGRAM_PROGRESS_IND) {
            int& shown = tenthsShown_.try_emplace(board.session, -1).first->second;
            if (p.Tenths() > shown) {
                shown = p.Tenths();
                std::printf("%s: programming %d %%\n", board.job.port.c_str(), shown * 10);
            }
        } else if (p.StageChanged()) {
            std::printf("%s: %s\n", board.job.port.c_str(), p.Stage().c_str());
        }
        std::fflush(stdout);
    }

    void Finish(Run& run) override {
        const std::lock_guard lock(run.mutex);
        const double seconds = std::chrono::duration<double>(Clock::now() - run.start).count();
        const std::string gap = quiet_ ? "" : "\n"; // after the lines of the stages
        std::fputs((gap + SummaryTable(SummaryRows(run), seconds, 0, false)).c_str(), stdout);
        std::fflush(stdout);
    }

  private:
    bool quiet_;
    std::map<uint16_t, int> tenthsShown_{};
};

} // namespace

std::unique_ptr<FlashView> MakeLinesView(bool quiet) {
    return std::make_unique<LinesView>(quiet);
}

} // namespace ulvex
