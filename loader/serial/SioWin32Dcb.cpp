#include "serial/SioWin32Dcb.h"

namespace {

constexpr unsigned kDtrControlShift = 4;
constexpr unsigned kRtsControlShift = 12;
constexpr unsigned kDummy2Shift = 15;

bool Has(uint32_t flags, uint32_t flag) {
    return (flags & flag) != 0;
}

uint32_t Flag(DWORD bit, uint32_t flag) {
    return bit != 0 ? flag : 0;
}

} // namespace

DCB ToWindowsDcb(const DeviceControl& control) {
    const uint32_t f = control.flags;
    DCB dcb{};
    dcb.DCBlength = control.length;
    dcb.BaudRate = control.baudRate;
    dcb.fBinary = Has(f, DCB_BINARY);
    dcb.fParity = Has(f, DCB_PARITY);
    dcb.fOutxCtsFlow = Has(f, DCB_OUTX_CTS_FLOW);
    dcb.fOutxDsrFlow = Has(f, DCB_OUTX_DSR_FLOW);
    dcb.fDtrControl = (f & DCB_DTR_CONTROL_MASK) >> kDtrControlShift;
    dcb.fDsrSensitivity = Has(f, DCB_DSR_SENSITIVITY);
    dcb.fTXContinueOnXoff = Has(f, DCB_TX_CONTINUE_ON_XOFF);
    dcb.fOutX = Has(f, DCB_OUTX);
    dcb.fInX = Has(f, DCB_INX);
    dcb.fErrorChar = Has(f, DCB_ERROR_CHAR);
    dcb.fNull = Has(f, DCB_NULL);
    dcb.fRtsControl = (f & DCB_RTS_CONTROL_MASK) >> kRtsControlShift;
    dcb.fAbortOnError = Has(f, DCB_ABORT_ON_ERROR);
    dcb.fDummy2 = f >> kDummy2Shift;
    dcb.wReserved = control.reserved;
    dcb.XonLim = control.xonLimit;
    dcb.XoffLim = control.xoffLimit;
    dcb.ByteSize = control.byteSize;
    dcb.Parity = control.parity;
    dcb.StopBits = control.stopBits;
    dcb.XonChar = control.xonChar;
    dcb.XoffChar = control.xoffChar;
    dcb.ErrorChar = control.errorChar;
    dcb.EofChar = control.eofChar;
    dcb.EvtChar = control.evtChar;
    dcb.wReserved1 = control.reserved1;
    return dcb;
}

DeviceControl FromWindowsDcb(const DCB& dcb) {
    DeviceControl control;
    control.length = dcb.DCBlength;
    control.baudRate = dcb.BaudRate;
    uint32_t f = 0;
    f |= Flag(dcb.fBinary, DCB_BINARY);
    f |= Flag(dcb.fParity, DCB_PARITY);
    f |= Flag(dcb.fOutxCtsFlow, DCB_OUTX_CTS_FLOW);
    f |= Flag(dcb.fOutxDsrFlow, DCB_OUTX_DSR_FLOW);
    f |= static_cast<uint32_t>(dcb.fDtrControl) << kDtrControlShift;
    f |= Flag(dcb.fDsrSensitivity, DCB_DSR_SENSITIVITY);
    f |= Flag(dcb.fTXContinueOnXoff, DCB_TX_CONTINUE_ON_XOFF);
    f |= Flag(dcb.fOutX, DCB_OUTX);
    f |= Flag(dcb.fInX, DCB_INX);
    f |= Flag(dcb.fErrorChar, DCB_ERROR_CHAR);
    f |= Flag(dcb.fNull, DCB_NULL);
    f |= static_cast<uint32_t>(dcb.fRtsControl) << kRtsControlShift;
    f |= Flag(dcb.fAbortOnError, DCB_ABORT_ON_ERROR);
    f |= static_cast<uint32_t>(dcb.fDummy2) << kDummy2Shift;
    control.flags = f;
    control.reserved = dcb.wReserved;
    control.xonLimit = dcb.XonLim;
    control.xoffLimit = dcb.XoffLim;
    control.byteSize = dcb.ByteSize;
    control.parity = dcb.Parity;
    control.stopBits = dcb.StopBits;
    control.xonChar = dcb.XonChar;
    control.xoffChar = dcb.XoffChar;
    control.errorChar = dcb.ErrorChar;
    control.eofChar = dcb.EofChar;
    control.evtChar = dcb.EvtChar;
    control.reserved1 = dcb.wReserved1;
    return control;
}
