// The view on a terminal: one line per board (port, target, stage, bar,
// percent, bytes done, KiB/s, time left), redrawn in place at most ten
// times a second by a thread of its own, so that the sessions' threads
// only mark the view as changed. Each line fits the terminal's width.
#include "FlashRun.h"
#include "SummaryTable.h"
#include "Terminal.h"

#include <cstdio>
#include <fmt/format.h>
#include <thread>

namespace ulvex {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr size_t kShortestBar = 8;
constexpr size_t kLongestBar = 30;

struct Fields {
    std::string port, target, stage, percent, bytes, rate, left;
    Colour stageColour = Colour::Yellow;
    double fraction = 0.0;
};

Fields FieldsOf(const Board& b, Clock::time_point now) {
    const BoardProgress& p = b.progress;
    Fields f;
    f.port = b.job.port;
    f.target = b.target != nullptr ? b.target->name : b.job.target;
    f.stage = p.Stage();
    if (!b.Running()) {
        const Outcome o = b.Result();
        f.stage = o.result;
        f.stageColour = o.ok ? Colour::Green : Colour::Red;
    }
    f.fraction = p.Fraction();
    if (p.Size() != 0) {
        f.percent = fmt::format("{:3d}%", static_cast<int>(f.fraction * 100));
        // As wide at the start as at the end.
        const std::string size = fmt::format("{:.0f}", p.Size() / 1024.0);
        f.bytes = fmt::format("{:>{}.0f}/{} KiB", p.Done() / 1024.0, size.size(), size);
    }
    if (const double rate = p.BytesPerSecond(now); rate > 0) {
        f.rate = fmt::format("{:.0f} KiB/s", rate / 1024.0);
    }
    if (const auto left = p.SecondsLeft(now)) {
        const int s = static_cast<int>(*left + 0.5);
        f.left = fmt::format("{}:{:02d}", s / 60, s % 60);
    }
    return f;
}

// Column widths shared by every board's line, so that the bars line up.
struct Layout {
    size_t port = 0, target = 0, stage = 0, bytes = 0, rate = 0, left = 0, bar = 0;
};

size_t Sum(const Layout& l) {
    // Each field present takes a space before the next; the bar its brackets.
    auto part = [](size_t w) { return w == 0 ? 0 : w + 1; };
    return part(l.port) + part(l.target) + part(l.stage) + (l.bar == 0 ? 0 : l.bar + 3) + part(4) +
           part(l.bytes) + part(l.rate) + part(l.left);
}

// Widths that do not change from one frame to the next, so that nothing
// jumps while a board moves on: the stages of a good run, the rate and the
// time left. Only a failure's longer name widens the stage.
constexpr size_t kStageWidth = 11; // "programming"
constexpr size_t kRateWidth = 10;  // "1234 KiB/s"
constexpr size_t kLeftWidth = 5;   // "59:59"
constexpr size_t kLongPort = 16;

Layout Fit(const std::vector<Fields>& lines, size_t width) {
    Layout l;
    l.stage = kStageWidth;
    l.rate = kRateWidth;
    l.left = kLeftWidth;
    for (const Fields& f : lines) {
        l.port = std::max(l.port, f.port.size());
        l.stage = std::max(l.stage, f.stage.size());
        l.target = std::max(l.target, f.target.size());
        l.bytes = std::max(l.bytes, f.bytes.size());
    }
    l.port = std::min<size_t>(l.port, 24);
    l.bar = kShortestBar;
    if (Sum(l) > width) {
        l.port = std::min(l.port, kLongPort);
    }
    // What a narrow terminal gives up first: the target, the bytes, the
    // rate, the time left, the bar; then the port is cut further.
    for (size_t* field : {&l.target, &l.bytes, &l.rate, &l.left, &l.bar}) {
        if (Sum(l) <= width) {
            break;
        }
        *field = 0;
    }
    if (Sum(l) > width) {
        l.port = std::max<size_t>(6, l.port - std::min(l.port, Sum(l) - width));
    }
    if (l.bar != 0) {
        l.bar = std::min(kLongestBar, kShortestBar + (width - Sum(l)));
    }
    return l;
}

std::string Line(const Fields& f, const Layout& l, bool colour) {
    std::string line = FitLeft(f.port, l.port);
    auto add = [&line](const std::string& text) { line += " " + text; };
    if (l.target != 0) {
        add(PadRight(f.target, l.target));
    }
    add(Paint(PadRight(f.stage, l.stage), f.stageColour, colour));
    if (l.bar != 0) {
        const auto filled = static_cast<size_t>(f.fraction * static_cast<double>(l.bar));
        add("[" + Paint(std::string(filled, '#'), Colour::Cyan, colour && filled != 0) +
            std::string(l.bar - filled, '.') + "]");
    }
    add(PadLeft(f.percent, 4));
    for (auto [text, width] :
         {std::pair{&f.bytes, l.bytes}, {&f.rate, l.rate}, {&f.left, l.left}}) {
        if (width != 0) {
            add(PadLeft(*text, width));
        }
    }
    return line;
}

class LiveView : public FlashView {
  public:
    explicit LiveView(Run& run) : run_(run), colour_(ColoursWanted()) {
        std::fputs("\x1b[?25l", stdout); // no cursor jumping between the lines
        drawer_ = std::thread([this] { Draw(); });
    }

    void Indication(const Board&, const IndicationRecord&) override { changed_ = true; }

    void Finish(Run& run) override {
        {
            const std::lock_guard lock(run.mutex);
            stop_ = true;
        }
        wake_.notify_all();
        drawer_.join();
        const std::lock_guard lock(run.mutex);
        std::string text = Frame();
        const double seconds = std::chrono::duration<double>(Clock::now() - run.start).count();
        text += "\n" + SummaryTable(SummaryRows(run), seconds, TerminalWidth(), colour_);
        text += "\x1b[?25h";
        Write(text);
    }

  private:
    // The lines of every board, over the ones drawn before.
    std::string Frame() {
        const Clock::time_point now = Clock::now();
        std::vector<Fields> lines;
        for (const Board& b : run_.boards) {
            lines.push_back(FieldsOf(b, now));
        }
        const Layout layout = Fit(lines, static_cast<size_t>(TerminalWidth()) - 1);
        std::string text = drawn_ == 0 ? "" : fmt::format("\x1b[{}A", drawn_);
        for (const Fields& f : lines) {
            text += "\r" + Line(f, layout, colour_) + "\x1b[K\n";
        }
        drawn_ = lines.size();
        changed_ = false;
        return text;
    }

    void Draw() {
        std::unique_lock lock(run_.mutex);
        while (!stop_) {
            if (changed_ || drawn_ == 0) {
                const std::string text = Frame();
                lock.unlock();
                Write(text); // the terminal may be slow: not under the lock
                lock.lock();
            }
            wake_.wait_for(lock, kRedrawEvery, [this] { return stop_; });
        }
    }

    static void Write(const std::string& text) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }

    Run& run_;
    bool colour_;
    bool changed_ = false; // under the run's lock, as drawn_ and stop_
    size_t drawn_ = 0;
    bool stop_ = false;
    std::condition_variable wake_;
    std::thread drawer_;
};

} // namespace

std::unique_ptr<FlashView> MakeLiveView(Run& run) {
    return std::make_unique<LiveView>(run);
}

} // namespace ulvex
