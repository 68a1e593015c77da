// Where the S3C44B0X programmer erases and what it verifies, for images at
// 0 as the board's boot code sits and for images anywhere else: every byte
// of the image outside the board's window is erased and verified, nothing in
// the window is, and no verified range reaches past the image.
#include "programmers/arm/S3c44b0xLayout.h"

#include <gmock/gmock.h>

#include <random>

using ::testing::ElementsAreArray;

namespace {

constexpr uint32_t kSst = 0x1000; // sector size of the SST39VF1601
constexpr uint32_t kSstBlock = 0x10000;
constexpr uint32_t kMx = 0x10000; // sector size of the MX29LV160, no blocks

std::vector<S3c44b0xErase> Sectors(uint32_t first, uint32_t last, uint32_t step) {
    std::vector<S3c44b0xErase> erases;
    for (uint32_t a = first; a <= last; a += step) {
        erases.push_back({false, a});
    }
    return erases;
}

std::vector<S3c44b0xErase> Join(std::initializer_list<std::vector<S3c44b0xErase>> parts) {
    std::vector<S3c44b0xErase> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(S3c44b0xLayoutTest, ErasePlanOfImagesAtZero) {
    EXPECT_THAT(S3c44b0xErasePlan(0, 0x30000, kSst, kSstBlock),
                ElementsAreArray(Join({{{true, 0}}, Sectors(0x20000, 0x2F000, kSst)})));
    EXPECT_THAT(
        S3c44b0xErasePlan(0, 0x40000, kSst, kSstBlock),
        ElementsAreArray(Join({{{true, 0}, {true, 0x20000}}, Sectors(0x30000, 0x3F000, kSst)})));
    EXPECT_THAT(S3c44b0xErasePlan(0, 0x40000, kMx, 0),
                ElementsAreArray(Join({Sectors(0, 0, kMx), Sectors(0x20000, 0x30000, kMx)})));
    EXPECT_THAT(S3c44b0xErasePlan(0, 0x800, kSst, kSstBlock),
                ElementsAreArray(Sectors(0, 0, kSst)));
    EXPECT_TRUE(S3c44b0xErasePlan(0x10000, 0x10000, kSst, kSstBlock).empty()) << "the window";
    EXPECT_TRUE(S3c44b0xErasePlan(0, 0x1000, 0, 0).empty()) << "no geometry";
}

// The sector at 0x30000 lies between the last block and the first sector
// that a walk from the start address would reach.
TEST(S3c44b0xLayoutTest, ErasePlanOfAnImageStartingInsideABlock) {
    EXPECT_THAT(S3c44b0xErasePlan(0x21000, 0x20000, kSst, kSstBlock),
                ElementsAreArray(Join({Sectors(0x21000, 0x2F000, kSst),
                                       {{true, 0x30000}},
                                       Sectors(0x40000, 0x40000, kSst)})));
    EXPECT_THAT(S3c44b0xErasePlan(0x123, 0x100, kSst, kSstBlock),
                ElementsAreArray(Sectors(0, 0, kSst)));
}

struct Geometry {
    uint32_t sector;
    uint32_t block;
};

// A stretch of the image left unerased lies wholly in the window.
bool InsideWindow(uint64_t from, uint64_t to) {
    return from >= to || (from >= 0x10000 && to <= 0x20000);
}

// Random images: every byte outside the window lies in an erased unit, no
// unit touches the window, and nothing beyond the sectors that hold the
// image's first and last byte is erased.
TEST(S3c44b0xLayoutTest, ErasePlanCoversTheImageAndSparesTheWindow) {
    std::mt19937 random(7);
    for (const Geometry g : {Geometry{kSst, kSstBlock}, Geometry{kMx, 0}, Geometry{kSst, 0}}) {
        for (int i = 0; i < 1000; ++i) {
            const uint32_t start = random() % 0x50000;
            const uint32_t size = 1 + random() % 0x40000;
            const uint64_t end = uint64_t{start} + size;
            uint64_t covered = start; // erased up to here, window gaps aside
            for (const S3c44b0xErase& e : S3c44b0xErasePlan(start, size, g.sector, g.block)) {
                const uint32_t unit = e.block ? g.block : g.sector;
                ASSERT_EQ(e.address % unit, 0u);
                ASSERT_FALSE(e.address + unit > 0x10000 && e.address < 0x20000) << e.address;
                ASSERT_GE(e.address, start - start % g.sector);
                ASSERT_LE(e.address + unit, (end + g.sector - 1) / g.sector * g.sector);
                ASSERT_TRUE(InsideWindow(covered, e.address)) << std::hex << start << " " << size;
                covered = std::max<uint64_t>(covered, e.address + unit);
            }
            ASSERT_TRUE(InsideWindow(covered, end)) << std::hex << start << " " << size;
        }
    }
}

TEST(S3c44b0xLayoutTest, WrittenViewStartsOnAProgrammingBlock) {
    const S3c44b0xWritten aligned = S3c44b0xWrittenView(0x20800, 0x100);
    EXPECT_EQ(aligned.start, 0x20800u);
    EXPECT_EQ(aligned.lead, 0u);
    EXPECT_EQ(aligned.size, 0x100u);
    const S3c44b0xWritten odd = S3c44b0xWrittenView(0x1F901, 0x1000);
    EXPECT_EQ(odd.start, 0x1F800u);
    EXPECT_EQ(odd.lead, 0x101u);
    EXPECT_EQ(odd.size, 0x1101u);
}

using CrcRange = S3c44b0xCrcRange;

TEST(S3c44b0xLayoutTest, LongImageAtZeroIsVerifiedInTheTwoRangesAroundTheWindow) {
    const S3c44b0xCrcPlan plan = S3c44b0xCrcRanges(S3c44b0xWrittenView(0, 0x30001));
    ASSERT_TRUE(plan.hasLow && plan.hasHigh);
    EXPECT_EQ(plan.low, (CrcRange{0, 0x10000, 0, 0xFFFF}));
    EXPECT_EQ(plan.high, (CrcRange{0x20000, 0x10002, 0x20000, 0x30000}));
}

TEST(S3c44b0xLayoutTest, ShortOrMovedImagesAreVerifiedOnlyWhereTheyLie) {
    auto plan = S3c44b0xCrcRanges(S3c44b0xWrittenView(0, 0x801));
    EXPECT_TRUE(plan.hasLow);
    EXPECT_FALSE(plan.hasHigh);
    EXPECT_EQ(plan.low, (CrcRange{0, 0x802, 0, 0x800}));

    plan = S3c44b0xCrcRanges(S3c44b0xWrittenView(0x20000, 0x1000));
    EXPECT_FALSE(plan.hasLow);
    EXPECT_EQ(plan.high, (CrcRange{0, 0x1000, 0x20000, 0x20FFF}));

    plan = S3c44b0xCrcRanges(S3c44b0xWrittenView(0x8000, 0x20000));
    EXPECT_EQ(plan.low, (CrcRange{0, 0x8000, 0x8000, 0xFFFF}));
    EXPECT_EQ(plan.high, (CrcRange{0x18000, 0x8000, 0x20000, 0x27FFF}));

    plan = S3c44b0xCrcRanges(S3c44b0xWrittenView(0x10000, 0x10000));
    EXPECT_FALSE(plan.hasLow || plan.hasHigh) << "wholly inside the window";
}

// The file CRC of a range reads at most the spare byte after the view.
TEST(S3c44b0xLayoutTest, RangesStayInsideTheImageAndOutsideTheWindow) {
    std::mt19937 random(11);
    for (int i = 0; i < 2000; ++i) {
        const S3c44b0xWritten view =
            S3c44b0xWrittenView(random() % 0x50000, 1 + random() % 0x40000);
        const S3c44b0xCrcPlan plan = S3c44b0xCrcRanges(view);
        for (const auto& [present, range] :
             {std::pair{plan.hasLow, plan.low}, std::pair{plan.hasHigh, plan.high}}) {
            if (!present) {
                continue;
            }
            ASSERT_LE(range.offset + range.count, view.size + 1);
            ASSERT_EQ(range.first, view.start + range.offset);
            ASSERT_EQ(range.last - range.first + 1 + ((range.last - range.first) % 2 == 0),
                      range.count);
            ASSERT_TRUE(range.last < 0x10000 || range.first >= 0x20000);
        }
    }
}

} // namespace
