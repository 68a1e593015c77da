// Pure arithmetic and tables of the programmers: segment counts, erase
// units, the flash-device table and the chip variants.
#include "programmers/kolt/KoltLayout.h"
#include "programmers/Targets.h"
#include "programmers/kolt/KoltChip.h"

#include <gtest/gtest.h>

using Units = std::vector<uint32_t>;

TEST(KoltLayoutTest, SegmentCountSteps) {
    EXPECT_EQ(KoltSegmentCount(0), 0u);
    EXPECT_EQ(KoltSegmentCount(1), 1u);
    EXPECT_EQ(KoltSegmentCount(0x1FFFF), 1u);
    EXPECT_EQ(KoltSegmentCount(0x20000), 2u);
    EXPECT_EQ(KoltSegmentCount(0xDFFFF), 7u);
    EXPECT_EQ(KoltSegmentCount(0xE0000), 8u);
    EXPECT_EQ(KoltSegmentCount(0xFFFFFFFF), 8u);
}

TEST(KoltLayoutTest, EraseUnitsFollowTheExtent) {
    EXPECT_EQ(KoltEraseUnits(0x080000, 0x3FFFF, 4), (Units{0x080000}));
    EXPECT_EQ(KoltEraseUnits(0x080000, 0x40000, 4), (Units{0x080000, 0x0C0000}));
    EXPECT_EQ(KoltEraseUnits(0x080000, 0x80000, 4), (Units{0x080000, 0x0C0000, 0x100000}));
    EXPECT_EQ(KoltEraseUnits(0x080000, 0xC0000, 4),
              (Units{0x080000, 0x0C0000, 0x100000, 0x140000}));
    // Two-unit boards stop at the second unit whatever the extent.
    EXPECT_EQ(KoltEraseUnits(0x080000, 0xC0000, 2), (Units{0x080000, 0x0C0000}));
    // The extent counts from the flash base, not from the image start.
    EXPECT_EQ(KoltEraseUnits(0x0C0000, 0x10, 4), (Units{0x080000, 0x0C0000}));
    // An image that ends exactly at the base reaches nothing.
    EXPECT_EQ(KoltEraseUnits(0x070000, 0x10000, 4), Units{});
}

TEST(KoltLayoutTest, EndBelowTheBaseWrapsAndErasesEverything) {
    EXPECT_EQ(KoltEraseUnits(0x000000, 0x1000, 4), (Units{0x080000, 0x0C0000, 0x100000, 0x140000}));
    EXPECT_EQ(KoltEraseUnits(0x000000, 0x1000, 2), (Units{0x080000, 0x0C0000}));
}

TEST(FlashTypeTableTest, LookupByIdentity) {
    EXPECT_EQ(FindFlashType(0x00BF, 0x234B), 3);
    EXPECT_STREQ(FlashTypeTable[3].name, "SST SST39VF1601");
    EXPECT_EQ(FindFlashType(0x00BF, 0x2789), 0);
    EXPECT_EQ(FindFlashType(0x00BF, 0x2782), 6);
    EXPECT_EQ(FindFlashType(0x00C2, 0x2249), 5);
    EXPECT_EQ(FlashTypeTable[5].sectorSize, 0x10000u);
    EXPECT_EQ(FindFlashType(0x0001, 0x2249), -1);
    EXPECT_EQ(FindFlashType(0x00C2, 0x234B), -1) << "both halves must match";
}

TEST(KoltChipTest, VariantsAndConfigurability) {
    EXPECT_EQ(KoltVariantFromVdev("K1A"), KOLT_VARIANT_KOLT_A);
    EXPECT_EQ(KoltVariantFromVdev("O1A"), KOLT_VARIANT_ORSK_A);
    EXPECT_EQ(KoltVariantFromVdev("P1B"), KOLT_VARIANT_PELD_B);
    EXPECT_EQ(KoltVariantFromVdev("k1a"), KOLT_VARIANT_UNKNOWN);

    using enum KoltConfigurability;
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_KOLT_A, 'B'), Fixed);
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_KOLT_A, 'C'), Configurable);
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_KOLT_A, 'f'), Configurable);
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_KOLT_A, 'G'), Fixed);
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_NILA_A, 'A'), Configurable);
    EXPECT_EQ(KoltChipConfigurability(KOLT_VARIANT_UNKNOWN, 'C'), Unknown);
}
