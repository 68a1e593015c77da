// Remote ports that fail: names that do not resolve, ports nobody serves, a
// server whose port is taken, and a server that dies while the board is
// programmed. Each session ends within a second with the failure reported,
// its reason in the error trace, and no socket left open.
#include "RemoteFixture.h"
#include "SessionImages.h"

#include <atomic>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <ulvex_open_failure.h>
#include <unistd.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kEndBound = std::chrono::seconds(1);

// A client holding the server's only place: connected, and greeted.
int ConnectedClient(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 2000);
    return fd;
}

std::atomic<bool> programming{false};

void NoteProgress(const IndicationRecord& r) {
    if (r.code == PROGRAM_PROGRESS_IND) {
        programming = true;
    }
}

} // namespace

struct OpenFailureCase {
    const char* name;
    enum Setup { Url, Refused, PortTaken } setup;
    const char* url;
    const char* reason;
};

class RemoteOpenFailureTest : public RemoteBoardTest,
                              public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(RemoteOpenFailureTest, SessionReportsTheAccessFailureWithItsReason) {
    const OpenFailureCase& c = GetParam();
    std::string url = c.url;
    int holder = -1;
    if (c.setup == OpenFailureCase::Refused) {
        url = "rfc2217://127.0.0.1:" + std::to_string(FreeTcpPort());
    } else if (c.setup == OpenFailureCase::PortTaken) {
        ServeBoard({});
        url = server_->Url();
        holder = ConnectedClient(server_->TcpPort());
        ASSERT_GE(holder, 0);
    }
    MapPort(url);
    const size_t sockets = OpenSockets();
    const auto start = Clock::now();
    const auto codes = RunSession(0, SampleHexFile(), 3, std::chrono::seconds(5));
    EXPECT_LT(Clock::now() - start, kEndBound);
    EXPECT_THAT(codes, ElementsAre(START_PROGRAM_IND, COM_PORT_ACCESS_FAIL_IND, STOP_PROGRAM_IND));
    EXPECT_THAT(ErrorTraceStarting("Error: COM9 is " + url + ": "), HasSubstr(c.reason));
    UlvexOpenFailure failure;
    ASSERT_EQ(ULVEX_GetLastOpenFailure(3, &failure), 1u);
    EXPECT_EQ(std::string(failure.port) + " " + failure.tried, "COM9 " + url);
    EXPECT_THAT(failure.reason, HasSubstr(c.reason));
    EXPECT_EQ(OpenSockets(), sockets);
    if (holder >= 0) {
        ::close(holder);
    }
}

const OpenFailureCase kOpenFailures[] = {
    {"UnresolvableHost", OpenFailureCase::Url, "rfc2217://no-such-board.invalid:4000",
     "cannot resolve no-such-board.invalid"},
    {"NoPortGiven", OpenFailureCase::Url, "rfc2217://127.0.0.1", "the TCP port is missing"},
    {"UnknownScheme", OpenFailureCase::Url, "telnet://127.0.0.1:23", "unknown scheme"},
    {"NobodyListens", OpenFailureCase::Refused, "", "Connection refused"},
    {"PortInUse", OpenFailureCase::PortTaken, "", "Port already in use"},
};

INSTANTIATE_TEST_SUITE_P(Remote, RemoteOpenFailureTest, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteBoardTest, ServerKilledWhileProgrammingEndsTheSessionAtOnce) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    ServeBoard(options);
    const size_t sockets = OpenSockets();
    programming = false;
    SetIndicationHook(NoteProgress);
    const auto hex =
        WriteHexImage(*dir_, "large", {{0x080000, testfiles::RandomBytes(0x40000, 3)}});
    ASSERT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, 0, hex.c_str(), 4), FLASHLOADER_STARTED);
    for (int i = 0; i < 3000 && !programming; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(programming);
    server_->Kill();
    const auto killed = Clock::now();
    ASSERT_TRUE(WaitForStop(4, std::chrono::seconds(5)));
    EXPECT_LT(Clock::now() - killed, kEndBound);
    SetIndicationHook(nullptr);
    std::vector<uint32_t> mailErrors;
    for (const auto& i : IndicationsOf(4)) {
        if (i.code == MAIL_ERROR_IND) {
            mailErrors.push_back(i.long0 & 0xFFFF);
        }
    }
    EXPECT_THAT(mailErrors, Contains(8u));
    EXPECT_EQ(CodesOf(4).back(), STOP_PROGRAM_IND);
    EXPECT_EQ(OpenSockets(), sockets) << "the session's socket is closed";
}
