// The fault campaign: programs images into virtual boards that drop,
// corrupt, withhold and refuse, several sessions at once, and checks every
// session's promises: it ends with one STOP_PROGRAM_IND and the port
// closed, within the protocol's deadlines, and never reports a CRC match
// that the board's memory does not bear out. Prints the figures as
// markdown; exits with 1 if any promise was broken.
//
//   fault_campaign [--full] [--seeds N] [--jobs N] [--markdown FILE]
//                  [--type T] [--condition C] [--seed S] [--keep-logs] [--wire-timing]
//
// Without --full it runs a representative subset: each family once without
// faults and twice with faults of the kinds in turn. --type, --condition
// (an index into the list of fault conditions) and --seed pick sessions
// out of the plan, to look into one; --keep-logs keeps every session's log,
// not only those of sessions that broke a promise. --wire-timing gives the
// boards their line and flash timing: bytes take their time on the wire.
#include "CampaignPlan.h"
#include "CampaignRunner.h"
#include "CampaignTable.h"
#include "SessionRecorder.h"
#include "TestFiles.h"
#include "ulvex.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace campaign;

namespace {

// Logs carry the mail trace and the indications, for the sessions that
// break a promise.
constexpr uint32_t kDebugMask = 0x04 | 0x08;

struct Arguments {
    bool full = false;
    uint32_t seeds = 9;
    unsigned jobs = 6;
    std::string markdown;
    long type = -1, condition = -1, seed = -1; // -1: any
    bool keepLogs = false;
    bool wireTiming = false;
};

long Number(const char* text) {
    return std::strtol(text, nullptr, 10);
}

bool Parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--full") {
            args.full = true;
        } else if (a == "--seeds" && hasValue) {
            args.seeds = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--jobs" && hasValue) {
            args.jobs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--markdown" && hasValue) {
            args.markdown = std::filesystem::absolute(argv[++i]);
        } else if (a == "--type" && hasValue) {
            args.type = Number(argv[++i]);
        } else if (a == "--condition" && hasValue) {
            args.condition = Number(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            args.seed = Number(argv[++i]);
        } else if (a == "--keep-logs") {
            args.keepLogs = true;
        } else if (a == "--wire-timing") {
            args.wireTiming = true;
        } else {
            return false;
        }
    }
    return args.seeds >= 1 && args.jobs >= 1 && args.jobs <= 50;
}

std::vector<PlannedSession> Picked(const std::vector<PlannedSession>& plan, const Arguments& args) {
    std::vector<PlannedSession> picked;
    for (const PlannedSession& s : plan) {
        const bool type = args.type < 0 || InfoOf(s.family).targetType == args.type;
        const bool condition =
            args.condition < 0 || static_cast<long>(s.condition) == args.condition;
        const bool seed = args.seed < 0 || static_cast<long>(s.seed) == args.seed;
        if (type && condition && seed) {
            picked.push_back(s);
        }
    }
    return picked;
}

void Usage(FILE* out, const char* program) {
    std::fprintf(out,
                 "usage: %s [--full] [--seeds N] [--jobs N] [--markdown FILE] [--type T] "
                 "[--condition C] [--seed S] [--keep-logs] [--wire-timing]\nfault conditions:\n",
                 program);
    for (size_t c = 0; c < FaultConditions().size(); ++c) {
        std::fprintf(out, "  %2zu  %s\n", c, FaultConditions()[c].label.c_str());
    }
}

void KeepLog(const SessionResult& r, const std::string& keepDir) {
    const std::string log = "Session_" + std::to_string(r.sessionid) + ".log";
    std::filesystem::create_directories(keepDir);
    std::error_code ignored;
    std::filesystem::copy_file(log, keepDir + "/" + log,
                               std::filesystem::copy_options::overwrite_existing, ignored);
}

// Lists every broken promise and false success; keeps those sessions' logs,
// or every session's.
size_t ReportProblems(const std::vector<SessionResult>& results, const std::string& keepDir,
                      bool keepAll) {
    size_t problems = 0;
    for (const SessionResult& r : results) {
        const bool failed = PrintFailure(r);
        problems += failed ? 1 : 0;
        if (failed || keepAll) {
            KeepLog(r, keepDir);
        }
    }
    if (problems > 0 || keepAll) {
        std::printf("logs of these sessions: %s\n", keepDir.c_str());
    }
    return problems;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (argc == 2 && std::string(argv[1]) == "--help") {
        Usage(stdout, argv[0]);
        return 0;
    }
    if (!Parse(argc, argv, args)) {
        Usage(stderr, argv[0]);
        return 2;
    }
    const std::string keepDir = std::filesystem::absolute("fault-campaign-logs");
    const std::vector<PlannedSession> plan =
        Picked(args.full ? FullPlan(args.seeds) : QuickPlan(), args);

    testfiles::TempDir work;
    testfiles::ScopedChdir inWork(work.path());
    SessionRecorder::Instance();
    SetDebug(kDebugMask);
    const auto started = std::chrono::steady_clock::now();
    SessionTweaks tweaks;
    if (args.wireTiming) {
        tweaks.options = [](vtarget::BoardOptions& o) { o.wireTiming = true; };
    }
    CampaignRunner campaign(plan, MakeImages(plan, work.path()), args.jobs, tweaks);
    const std::vector<SessionResult> results = campaign.Run();
    const auto wall = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);

    const std::string tables = "## By family and fault\n\n" + ConditionTable(results) +
                               "\n## By family\n\n" + FamilyTable(results);
    std::printf("\n%s\n%zu sessions in %lld s with %u at once\n", tables.c_str(), results.size(),
                static_cast<long long>(wall.count()), args.jobs);
    if (!args.markdown.empty()) {
        std::ofstream(args.markdown) << tables;
    }
    const size_t problems = ReportProblems(results, keepDir, args.keepLogs);
    const size_t strays = SessionRecorder::Instance().Strays();
    if (strays > 0) {
        std::printf("FAILED: %zu indications for sessions that were not running\n", strays);
    }
    return problems == 0 && strays == 0 ? 0 : 1;
}
