// socket:// against a TCP listener of the test's own: the line's bytes go
// both ways unchanged (0xFF included), rate, flow-control and control-line
// changes succeed without effect, a write takes its line time, and a peer
// that goes away fails the next read.
#include "FrameFixture.h"
#include "PtyPeer.h"
#include "Ser2net.h"
#include "serial/Sio.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr unsigned kPort = 9;

class Listener {
  public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() {
        ::close(peer_);
        ::close(fd_);
    }
    std::string Url() const { return "socket://127.0.0.1:" + std::to_string(port_); }
    bool Accept() { return (peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; }
    void Send(const std::vector<uint8_t>& bytes) { ::send(peer_, bytes.data(), bytes.size(), 0); }
    std::vector<uint8_t> Receive(size_t count) {
        std::vector<uint8_t> bytes(count);
        size_t got = 0;
        pollfd p{peer_, POLLIN, 0};
        while (got < count && ::poll(&p, 1, 2000) == 1) {
            const ssize_t n = ::recv(peer_, bytes.data() + got, count - got, 0);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }
    void Hangup() {
        ::close(peer_);
        peer_ = -1;
    }

  private:
    int fd_ = -1;
    int peer_ = -1;
    uint16_t port_ = 0;
};

std::vector<uint8_t> ReadAll(size_t count) {
    std::vector<uint8_t> bytes;
    while (bytes.size() < count && WaitSerialReadable(2000)) {
        uint8_t chunk[512];
        uint32_t read = 0;
        if (GetSerialData(chunk, sizeof chunk, &read) != 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    return bytes;
}

} // namespace

class SocketPortTest : public FrameTest {};

TEST_F(SocketPortTest, RawBytesGoBothWaysAtTheLineRate) {
    Listener listener;
    ComPortMapping mapping(kPort, listener.Url());
    const size_t sockets = OpenSockets();
    ASSERT_TRUE(OpenSerialPort(kPort, 115200, 0));
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(ChangeBaud(9600), 1u);
    EXPECT_EQ(DcbfOutX(1), 0u);
    EXPECT_NE(SioSetDTR(), 0u);
    EXPECT_NE(SioSetBREAK(), 0u);

    std::vector<uint8_t> sent(96, 0xFF);
    sent.insert(sent.end(), {0x55, 0x00, 0xAA, 0x0D, 0x0A});
    uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SendSerialDataBlock(sent.data(), static_cast<uint32_t>(sent.size()), &written), 0u);
    // 101 bytes of 10 bits at 9600 bit/s.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(105000));
    EXPECT_EQ(listener.Receive(sent.size()), sent) << "nothing doubled, nothing added";

    listener.Send(sent);
    EXPECT_EQ(ReadAll(sent.size()), sent);

    listener.Hangup();
    ASSERT_TRUE(WaitSerialReadable(2000));
    uint32_t read = 0;
    uint8_t byte = 0;
    EXPECT_EQ(GetSerialData(&byte, 1, &read), 1u) << "a read after the peer left fails";
    CloseSerialPort();
    EXPECT_EQ(OpenSockets(), sockets);
}
