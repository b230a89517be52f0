// The port's settings groups: a change is stored and, only while the port
// is open, reapplied at once.
#include "ComPort.h"
#include "StoreAndApply.h"

int BaudRateValue(TBaudRate rate) {
    switch (rate) {
    case br110: return 110;
    case br300: return 300;
    case br600: return 600;
    case br1200: return 1200;
    case br2400: return 2400;
    case br4800: return 4800;
    case br9600: return 9600;
    case br14400: return 14400;
    case br19200: return 19200;
    case br38400: return 38400;
    case br56000: return 56000;
    case br57600: return 57600;
    case br115200: return 115200;
    case br128000: return 128000;
    case br256000: return 256000;
    case brCustom: break;
    }
    return 0;
}

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& other) {
    SetReadInterval(other.readInterval_);
    SetReadTotalMultiplier(other.readTotalMultiplier_);
    SetReadTotalConstant(other.readTotalConstant_);
    SetWriteTotalMultiplier(other.writeTotalMultiplier_);
    SetWriteTotalConstant(other.writeTotalConstant_);
    return *this;
}

void TComTimeouts::Set(std::int32_t& member, std::int32_t v) {
    // An unchanged value is not passed to the driver again: the link sets the
    // read time-outs before every byte it reads.
    StoreAndApply(member, v, port_.Connected(), [this] { port_.ApplyTimeouts(); });
}

void TComTimeouts::SetReadInterval(std::int32_t v) { Set(readInterval_, v); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t v) { Set(readTotalMultiplier_, v); }
void TComTimeouts::SetReadTotalConstant(std::int32_t v) { Set(readTotalConstant_, v); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t v) { Set(writeTotalMultiplier_, v); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t v) { Set(writeTotalConstant_, v); }

TComParity& TComParity::operator=(const TComParity& other) {
    SetBits(other.bits_);
    SetCheck(other.check_);
    SetReplace(other.replace_);
    SetReplaceChar(other.replaceChar_);
    return *this;
}

void TComParity::SetBits(TParityBits v) { StoreAndApply(bits_, v, port_.Connected(), [this] { port_.ApplyDCB(); }); }
void TComParity::SetCheck(bool v) { StoreAndApply(check_, v, port_.Connected(), [this] { port_.ApplyDCB(); }); }
void TComParity::SetReplace(bool v) { StoreAndApply(replace_, v, port_.Connected(), [this] { port_.ApplyDCB(); }); }
void TComParity::SetReplaceChar(std::uint8_t v) {
    StoreAndApply(replaceChar_, v, port_.Connected(), [this] { port_.ApplyDCB(); });
}

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& other) {
    SetOutCTSFlow(other.outCTSFlow_);
    SetOutDSRFlow(other.outDSRFlow_);
    SetControlDTR(other.controlDTR_);
    SetControlRTS(other.controlRTS_);
    SetXonXoffOut(other.xonXoffOut_);
    SetXonXoffIn(other.xonXoffIn_);
    SetDSRSensitivity(other.dsrSensitivity_);
    SetTxContinueOnXoff(other.txContinueOnXoff_);
    SetXonChar(other.xonChar_);
    SetXoffChar(other.xoffChar_);
    return *this;
}

template <class T>
void TComFlowControl::Set(T& member, T v) {
    StoreAndApply(member, v, port_.Connected(), [this] { port_.ApplyDCB(); });
}

void TComFlowControl::SetOutCTSFlow(bool v) { Set(outCTSFlow_, v); }
void TComFlowControl::SetOutDSRFlow(bool v) { Set(outDSRFlow_, v); }
void TComFlowControl::SetControlDTR(TDTRFlowControl v) { Set(controlDTR_, v); }
void TComFlowControl::SetControlRTS(TRTSFlowControl v) { Set(controlRTS_, v); }
void TComFlowControl::SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
void TComFlowControl::SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
void TComFlowControl::SetDSRSensitivity(bool v) { Set(dsrSensitivity_, v); }
void TComFlowControl::SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }
void TComFlowControl::SetXonChar(std::uint8_t v) { Set(xonChar_, v); }
void TComFlowControl::SetXoffChar(std::uint8_t v) { Set(xoffChar_, v); }

TComBuffer& TComBuffer::operator=(const TComBuffer& other) {
    SetInputSize(other.inputSize_);
    SetOutputSize(other.outputSize_);
    return *this;
}

void TComBuffer::Set(std::int32_t& member, std::int32_t v) {
    if (v > 0 && v % 2 == 1) --v;  // queue sizes are even
    StoreAndApply(member, v, port_.Connected(), [this] { port_.ApplyBuffer(); });
}

void TComBuffer::SetInputSize(std::int32_t v) { Set(inputSize_, v); }
void TComBuffer::SetOutputSize(std::int32_t v) { Set(outputSize_, v); }

