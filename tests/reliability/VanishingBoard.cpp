#include "VanishingBoard.h"

#include "SessionEnd.h"

#include <thread>

namespace reliability {

namespace {

// Debug mask of the logs: mails and indications.
constexpr uint32_t kLogMask = DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;
// More than the few bytes of the boot loader's handshake: image bytes.
constexpr uint64_t kImageUnderWay = 500;

std::atomic<Clock::rep> firstMailError{0};

} // namespace

void NoteMailError(const IndicationRecord& record) {
    if (record.code != MAIL_ERROR_IND) {
        return;
    }
    Clock::rep none = 0;
    firstMailError.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

Clock::time_point FirstMailErrorAt() {
    return Clock::time_point(Clock::duration(firstMailError.load()));
}

AnswerWithheld::AnswerWithheld(vtarget::Board& board, uint8_t primitive, int nth) : board_(board) {
    board_.SetReplyOverride(
        [this, primitive,
         nth](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
            if (mail.payload.empty() || mail.payload[0] != primitive || ++seen_ != nth) {
                return std::nullopt;
            }
            {
                std::lock_guard lock(mutex_);
                withheld_ = true;
            }
            reached_.notify_all();
            return std::vector<uint8_t>{};
        });
}

AnswerWithheld::~AnswerWithheld() {
    board_.SetReplyOverride(nullptr);
}

bool AnswerWithheld::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return reached_.wait_for(lock, timeout, [this] { return withheld_; });
}

void VanishingBoardTest::SetUp() {
    BoardTest::SetUp();
    firstMailError = 0;
    SetIndicationHook(NoteMailError);
    SetDebug(kLogMask);
}

void VanishingBoardTest::TearDown() {
    SetIndicationHook(nullptr);
    BoardTest::TearDown();
}

Clock::time_point VanishingBoardTest::Vanish() {
    Board().Stop();
    return Clock::now();
}

bool VanishingBoardTest::DownloadUnderWay(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (Board().BytesReceived() < kImageUnderWay) {
        if (Clock::now() >= until || Board().CurrentStage() != vtarget::Stage::BootLoader) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Board().CurrentStage() == vtarget::Stage::BootLoader;
}

void VanishingBoardTest::ExpectLogEndsWithStop(const std::string& prefix, uint16_t id) {
    const std::string log = dir_->file(prefix + std::to_string(id) + ".log");
    ASSERT_TRUE(testfiles::FileExists(log));
    EXPECT_TRUE(WaitUntilClosed(log, kClosedBound)) << "log left open";
    const std::string text = testfiles::ReadFile(log);
    EXPECT_TRUE(IsStopLine(LastLine(text), id)) << "last line: " << LastLine(text);
    EXPECT_TRUE(IndicationLinesAreOwn(text, id));
}

} // namespace reliability
