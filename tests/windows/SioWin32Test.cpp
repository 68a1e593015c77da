// The driver's device control record against the Windows DCB that the
// port's state calls take.
#include "serial/SioWin32Dcb.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

// The DCB's flag bit fields as one word: they follow DCBlength and BaudRate.
uint32_t FlagWord(const DCB& dcb) {
    uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&dcb) + 2 * sizeof(DWORD), sizeof word);
    return word;
}

} // namespace

TEST(SioWin32DcbTest, FlagWordHasTheLayoutOfTheDcbBitFields) {
    EXPECT_EQ(sizeof(DCB), 28u);
    for (unsigned bit = 0; bit < 32; ++bit) {
        DeviceControl control;
        control.flags = 1u << bit;
        const DCB dcb = ToWindowsDcb(control);
        EXPECT_EQ(FlagWord(dcb), control.flags) << "bit " << bit;
        EXPECT_EQ(FromWindowsDcb(dcb).flags, control.flags) << "bit " << bit;
    }
}

TEST(SioWin32DcbTest, LineSettingsOfAnOpenReachTheirMembers) {
    DeviceControl control;
    control.length = 28;
    control.baudRate = 8600;
    control.flags = DCB_BINARY | DCB_TX_CONTINUE_ON_XOFF;
    control.byteSize = 8;
    control.stopBits = 2;
    const DCB dcb = ToWindowsDcb(control);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 8600u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
}

TEST(SioWin32DcbTest, MembersTheDriverKeepsComeBackUnchanged) {
    DeviceControl control;
    control.length = 28;
    control.baudRate = 115200;
    control.flags = DCB_BINARY | DCB_OUTX | (2u << 12) | (0x1ABCDu << 15);
    control.reserved = 0x1234;
    control.xonLimit = 2048;
    control.xoffLimit = 512;
    control.byteSize = 7;
    control.parity = 2;
    control.stopBits = 1;
    control.xonChar = 0x11;
    control.xoffChar = 0x13;
    control.errorChar = '?';
    control.eofChar = 0x1A;
    control.evtChar = '\n';
    control.reserved1 = 0x5678;
    const DeviceControl back = FromWindowsDcb(ToWindowsDcb(control));
    EXPECT_EQ(std::memcmp(&back, &control, sizeof control), 0);
}
