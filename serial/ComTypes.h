#pragma once
// The serial layer's value types: line settings, line events and errors, and
// the handle of an open local device. Shared by the port, its devices and
// the line event watcher.

#include <cstdint>

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

// Line events; a set is a 16-bit mask, bit 0 evRxChar up to bit 9 evRx80Full.
enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
using TComEvents = std::uint16_t;
constexpr TComEvents ComEventBit(TComEvent e) { return static_cast<TComEvents>(1u << e); }
constexpr TComEvents AllComEvents = 0x03FF;

// Line errors reported with OnError.
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = std::uint16_t;

enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// The open local device as the system knows it: a descriptor on POSIX, a
// HANDLE on Windows.
#ifdef _WIN32
using TComHandle = void*;
inline constexpr TComHandle NoComHandle = nullptr;
#else
using TComHandle = int;
inline constexpr TComHandle NoComHandle = -1;
#endif

// Modem lines as a device reports them; a line without any reads as all off.
inline constexpr int ModemCTS = 0x10, ModemDSR = 0x20, ModemRLSD = 0x80;
