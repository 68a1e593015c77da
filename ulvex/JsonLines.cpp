// --json: every indication as one line, a result per board, the summary
// last; nothing else on standard output.
#include "FlashRun.h"
#include "IndicationEvents.h"

#include <cstdio>
#include <fmt/format.h>

namespace ulvex {

namespace {

void PrintJson(const nlohmann::json& event) {
    // Texts of the target need not be UTF-8: replace what is not.
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

nlohmann::json ResultEvent(const Board& b, const Outcome& o) {
    nlohmann::json event = {{"event", "result"},  {"port", b.job.port},  {"ok", o.ok},
                            {"result", o.result}, {"crc_file", nullptr}, {"crc_target", nullptr},
                            {"ms", o.ms},         {"detail", o.detail}};
    if (o.haveCrc) {
        event["crc_file"] = fmt::format("{:08X}", o.crcFile);
        event["crc_target"] = fmt::format("{:08X}", o.crcTarget);
    }
    return event;
}

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
            PrintJson(ResultEvent(b, o));
        }
        const int boards = static_cast<int>(run.boards.size());
        PrintJson({{"event", "summary"},
                   {"port", nullptr},
                   {"boards", boards},
                   {"ok", ok},
                   {"failed", boards - ok}});
    }

  private:
    Clock::time_point start_;
};

} // namespace

std::unique_ptr<FlashView> MakeJsonView(const Run& run) {
    return std::make_unique<JsonView>(run);
}

} // namespace ulvex
