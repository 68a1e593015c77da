// The soak run: thousands of programming sessions of every family in one
// process, several at once, through libulvex.so into boards in this
// process; one session in five with a line or monitor fault. The sessions
// run in equal batches. Between batches nothing runs, and the process's
// open descriptors, threads, resident memory and the bytes it has allocated
// and not freed are read: a library that leaks a descriptor, a thread or
// memory per session shows it as growth from the first checkpoint to the
// last. Every session must keep the
// campaign's promises too.
//
//   soak [--batches N] [--batch N] [--jobs N] [--rss-tolerance PERCENT]
//
// Exits with 1 when a promise was broken, when descriptors or threads
// differ between the first checkpoint and the last, or when resident memory
// grew by more than the tolerance (5 %; a negative value does not check it).
#include "CampaignPlan.h"
#include "CampaignRunner.h"
#include "SessionRecorder.h"
#include "TestFiles.h"
#include "ulvex.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>

using namespace campaign;

namespace {

struct Arguments {
    unsigned batches = 10;
    unsigned batch = 200;
    unsigned jobs = 8;
    double rssTolerance = 5;
};

bool Parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* value = argv[i + 1];
        if (a == "--batches") {
            args.batches = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (a == "--batch") {
            args.batch = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (a == "--jobs") {
            args.jobs = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (a == "--rss-tolerance") {
            args.rssTolerance = std::strtod(value, nullptr);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && args.batches >= 2 && args.batch >= 1 && args.jobs >= 1 &&
           args.jobs <= 50;
}

// The same plan for every batch, so that the images are made once: the
// families in turn, three seeds, every fifth session with a fault.
std::vector<PlannedSession> BatchPlan(unsigned size) {
    const size_t families = Families().size();
    const size_t faulted = FaultConditions().size() - 1;
    std::vector<PlannedSession> plan;
    for (size_t i = 0; i < size; ++i) {
        const size_t condition = i % 5 == 4 ? 1 + i / 5 % faulted : 0;
        plan.push_back({Families()[i % families].family, condition,
                        static_cast<uint32_t>(1 + i / families % 3)});
    }
    return plan;
}

struct Figures {
    size_t descriptors = 0;
    long threads = 0;
    long residentKiB = 0;
    size_t heapKiB = 0; // allocated and not yet freed
};

long StatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

Figures Measure() {
    Figures f;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++f.descriptors;
    }
    f.threads = StatusField("Threads");
    f.residentKiB = StatusField("VmRSS");
    const struct mallinfo2 heap = mallinfo2();
    f.heapKiB = (heap.uordblks + heap.hblkhd) / 1024;
    return f;
}

size_t Problems(const std::vector<SessionResult>& results) {
    size_t problems = 0;
    for (const SessionResult& r : results) {
        problems += PrintFailure(r) ? 1 : 0;
    }
    return problems;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(
            stderr, "usage: %s [--batches N>=2] [--batch N] [--jobs N] [--rss-tolerance PERCENT]\n",
            argv[0]);
        return 2;
    }
    // glibc gives threads up to eight malloc arenas per core and keeps what
    // each has held; with session threads coming and going, the resident
    // figure then climbs for a thousand sessions and levels off without
    // anything being leaked. One arena makes it measure what is kept.
    mallopt(M_ARENA_MAX, 1);
    testfiles::TempDir work;
    testfiles::ScopedChdir inWork(work.path());
    SessionRecorder::Instance();
    const std::vector<PlannedSession> plan = BatchPlan(args.batch);
    const auto images = MakeImages(plan, work.path());

    size_t problems = 0;
    std::vector<Figures> checkpoints;
    for (unsigned b = 1; b <= args.batches; ++b) {
        CampaignRunner runner(plan, images, args.jobs, {});
        problems += Problems(runner.Run());
        checkpoints.push_back(Measure());
        const Figures& f = checkpoints.back();
        std::printf("after session %u: %zu descriptors, %ld threads, %ld KiB resident, %zu KiB "
                    "allocated\n",
                    b * args.batch, f.descriptors, f.threads, f.residentKiB, f.heapKiB);
        std::fflush(stdout);
    }
    const Figures& first = checkpoints.front();
    const Figures& last = checkpoints.back();
    const double growth = 100.0 * static_cast<double>(last.residentKiB - first.residentKiB) /
                          static_cast<double>(first.residentKiB);
    std::printf("%u sessions, %u at once: descriptors %zu -> %zu, threads %ld -> %ld, "
                "resident %ld -> %ld KiB (%+.1f %%)\n",
                args.batches * args.batch, args.jobs, first.descriptors, last.descriptors,
                first.threads, last.threads, first.residentKiB, last.residentKiB, growth);
    const bool steady = first.descriptors == last.descriptors && first.threads == last.threads &&
                        (args.rssTolerance < 0 || growth <= args.rssTolerance);
    if (!steady) {
        std::printf("FAILED: the process grew from the first checkpoint to the last\n");
    }
    const size_t strays = SessionRecorder::Instance().Strays();
    if (strays > 0) {
        std::printf("FAILED: %zu indications for sessions that were not running\n", strays);
    }
    return problems == 0 && strays == 0 && steady ? 0 : 1;
}
