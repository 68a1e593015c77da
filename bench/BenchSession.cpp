#include "BenchSession.h"

#include "BenchClock.h"
#include "serial/Sio.h"
#include "ulvex.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vtarget/Board.h>

namespace bench {

namespace {

constexpr unsigned kFirstPort = 11;
constexpr uint32_t kBusMode = 2;

using Span = std::pair<double, double>; // milliseconds of the steady clock

double SteadyMs(Clock::time_point at) {
    return Ms(at.time_since_epoch());
}

// What the callback and the wait observer record, by session id.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<uint16_t, SessionFigures> figures;
    std::map<std::thread::id, uint16_t> sessionOfThread;
    std::map<uint16_t, std::vector<Span>> waits;
    size_t stops = 0;
};

Recorder recorder;

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    const double now = SteadyMs(Clock::now());
    std::lock_guard lock(recorder.mutex);
    SessionFigures& figures = recorder.figures[record->sessionid];
    switch (record->code) {
    case START_PROGRAM_IND:
        recorder.sessionOfThread[std::this_thread::get_id()] = record->sessionid;
        figures.startMs = now;
        figures.workerCpuMs = -ThreadCpuMs();
        break;
    case DOWNLOAD_SUCCESS_IND:
        figures.monitorUpMs = now;
        break;
    case CHIP_ERASE_FINISHED_IND:
    case SECTOR_ERASE_FINISHED_IND:
        figures.erasedMs = now;
        break;
    case PROGRAMMING_SUCCESS_IND:
        figures.programmedMs = now;
        break;
    case CRC_OK_IND:
        figures.crcOk = true;
        break;
    case STOP_PROGRAM_IND:
        figures.stopMs = now;
        figures.workerCpuMs += ThreadCpuMs();
        figures.stopped = true;
        ++recorder.stops;
        recorder.changed.notify_all();
        break;
    default:
        break;
    }
}

void OnDelay(double startMs, double endMs) {
    std::lock_guard lock(recorder.mutex);
    const auto session = recorder.sessionOfThread.find(std::this_thread::get_id());
    if (session != recorder.sessionOfThread.end()) {
        recorder.waits[session->second].push_back({startMs, endMs});
    }
}

std::vector<Span> SpansOf(const std::vector<vtarget::TimeSpan>& spans) {
    std::vector<Span> out;
    out.reserve(spans.size());
    for (const auto& span : spans) {
        out.push_back({SteadyMs(span.begin), SteadyMs(span.end)});
    }
    return out;
}

// Length of the union of the spans, clipped to [from, to].
double UnionMs(std::vector<Span> spans, double from, double to) {
    std::sort(spans.begin(), spans.end());
    double total = 0;
    double reached = from;
    for (auto [begin, end] : spans) {
        begin = std::max(begin, reached);
        end = std::min(end, to);
        if (end > begin) {
            total += end - begin;
            reached = end;
        }
    }
    return total;
}

void Conclude(SessionFigures& figures, const vtarget::Board& board, std::vector<Span> waits) {
    const auto line = SpansOf(board.LineSpans());
    const auto own = SpansOf(board.OwnTimeSpans());
    figures.lineMs = UnionMs(line, figures.startMs, figures.stopMs);
    figures.boardMs = UnionMs(own, figures.startMs, figures.stopMs);
    figures.waitMs = UnionMs(waits, figures.startMs, figures.stopMs);
    std::vector<Span> all = line;
    all.insert(all.end(), own.begin(), own.end());
    all.insert(all.end(), waits.begin(), waits.end());
    figures.coveredMs = UnionMs(std::move(all), figures.startMs, figures.stopMs);
    figures.bytesOnLine = board.BytesReceived() + board.BytesSent();
    figures.exchanges =
        static_cast<size_t>(std::count_if(line.begin(), line.end(), [&figures](const Span& span) {
            return span.first >= figures.startMs && span.second <= figures.stopMs;
        }));
}

} // namespace

uint32_t FlashBaseOf(uint32_t targetType) {
    switch (targetType) {
    case 10:
    case 17:
        return 0;
    case 14:
        return 0xC8000000;
    default:
        return 0x080000; // external flash of the KOLT boards
    }
}

std::vector<SessionFigures> RunSessions(const std::vector<SessionSetup>& setups) {
    SetupCallbackFunction(OnIndication);
    SetDelayObserver(OnDelay);
    {
        std::lock_guard lock(recorder.mutex);
        recorder.figures.clear();
        recorder.sessionOfThread.clear();
        recorder.waits.clear();
        recorder.stops = 0;
    }
    std::vector<std::unique_ptr<BenchBoard>> boards;
    for (size_t i = 0; i < setups.size(); ++i) {
        vtarget::BoardOptions options;
        options.targetType = static_cast<int>(setups[i].targetType);
        options.adapterLatencyMs = setups[i].adapterLatencyMs;
        options.wireTiming = true;
        options.recordSpans = true;
        boards.push_back(std::make_unique<BenchBoard>(
            options, kFirstPort + static_cast<unsigned>(i), setups[i].port));
    }
    for (size_t i = 0; i < setups.size(); ++i) {
        const SessionSetup& setup = setups[i];
        if (FlashLoader(kFirstPort + static_cast<unsigned>(i), kBusMode, setup.baudRate,
                        setup.targetType, setup.image.c_str(),
                        static_cast<uint32_t>(i + 1)) != FLASHLOADER_STARTED) {
            std::fprintf(stderr, "session %zu did not start\n", i + 1);
            std::exit(1);
        }
    }
    std::vector<SessionFigures> results;
    std::unique_lock lock(recorder.mutex);
    recorder.changed.wait(lock, [&] { return recorder.stops == setups.size(); });
    for (size_t i = 0; i < setups.size(); ++i) {
        const auto id = static_cast<uint16_t>(i + 1);
        SessionFigures figures = recorder.figures[id];
        Conclude(figures, boards[i]->Board(), recorder.waits[id]);
        results.push_back(figures);
    }
    lock.unlock();
    for (size_t i = 0; i < boards.size(); ++i) {
        results[i].serverCpuMs = boards[i]->StopServer();
    }
    return results;
}

} // namespace bench
