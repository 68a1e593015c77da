// Whole sessions on the single-wire bus (bus mode 1), where every byte the
// PC sends comes back to it before the board's answer. The ML675001 boot
// ROM answers the first of a stream of 0x00s with 'y'; the PC must not take
// that 'y' for the echo of a 0x00 sent after it.
#include "CampaignSession.h"
#include "TestFiles.h"

#include <gmock/gmock.h>

using namespace campaign;
using ::testing::IsEmpty;

namespace {

size_t SingleWireCondition() {
    const auto& conditions = FaultConditions();
    for (size_t c = 0; c < conditions.size(); ++c) {
        if (conditions[c].singleWire && conditions[c].kind == FaultKind::None) {
            return c;
        }
    }
    throw std::logic_error("no fault-free single-wire condition");
}

} // namespace

namespace campaign {
void PrintTo(Family family, std::ostream* out) {
    *out << InfoOf(family).name;
}
} // namespace campaign

class SingleWireTest : public ::testing::TestWithParam<Family> {
  protected:
    testfiles::TempDir dir_;
    testfiles::ScopedChdir inDir_{dir_.path()};
};

TEST_P(SingleWireTest, SessionProgramsTheImage) {
    const Slot slot{241, dir_.file("port")};
    MapSlot(slot);
    const Image image = MakeImage(InfoOf(GetParam()), 1, dir_.path());
    SessionResult r = RunSession({GetParam(), SingleWireCondition(), 1}, 1, image, slot);
    CheckIndicationStream(r);
    EXPECT_EQ(r.outcome, "ok");
    EXPECT_THAT(r.brokenPromises, IsEmpty());
    EXPECT_THAT(r.falseSuccesses, IsEmpty());
}

// The families whose monitor start is quick; the chip boot loaders' take
// seconds and are covered by the campaign.
INSTANTIATE_TEST_SUITE_P(Families, SingleWireTest,
                         ::testing::Values(Family::Ml675001, Family::Atmega, Family::S3c44b0x),
                         [](const ::testing::TestParamInfo<Family>& info) {
                             return "Type" + std::to_string(InfoOf(info.param).targetType);
                         });
