#include "uComIo.h"

#include "CommandCodec.h"
#include "StatusTexts.h"

#include "base/Failure.h"
#include "serial/LineGone.h"

#include <algorithm>
#include <utility>

namespace {
// ReadByte's argument for reply characters: up to 150 ms each.
constexpr int CharacterWait = 50;

FailureKind KindOf(const std::exception& failure) {
    const auto* known = dynamic_cast<const EFailure*>(&failure);
    return known ? known->Kind() : FailureKind::Other;
}
}  // namespace

TComIo::TComIo(ILinkHost& host, SimulatorState& state, const FirmwareImage& image)
    : host_(host), state_(state), image_(image) {
    cPort.SetBaudRate(br115200);
    cPort.SetDataBits(dbEight);
    cPort.Parity().SetBits(prNone);
    cPort.SetStopBits(sbOneStopBit);
    TComFlowControl& flow = cPort.FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    // The watcher runs with every event kind although no handler is attached:
    // the line's events stay observable for whoever wants them later.
    cPort.SetEvents(AllComEvents);
    cPort.OnAfterOpen = [this](TCustomComPort&) { host_.PortOpened(true); };
    cPort.OnAfterClose = [this](TCustomComPort&) {
        // Whatever closed the port (a line that has gone, too), the simulator
        // it reached is no longer in remote mode on it: the next open must
        // not begin by leaving a mode nobody entered there.
        remoteMode_ = false;
        host_.PortOpened(false);
    };
    // Opening a device server's connection can take seconds: the front end
    // says what it waits for, stays painted, and may give the wait up.
    cPort.OnLongWait = [this](const std::string& target) {
        if (!connectingShown_) {
            connectingShown_ = true;
            host_.PanelInfo(LinkText::Connecting(target));
        } else {
            host_.ProcessMessages();
        }
        return !host_.CloseRequested() && !(stopWaiting_ && stopWaiting_());
    };
}

TComIo::~TComIo() {
    // The host may already be on its way out; it must not hear of this close.
    cPort.OnAfterOpen = nullptr;
    cPort.OnAfterClose = nullptr;
    cPort.OnLongWait = nullptr;
    cPort.Close();
}

std::function<bool()> TComIo::SetStopWaiting(std::function<bool()> stopWaiting) {
    return std::exchange(stopWaiting_, std::move(stopWaiting));
}

void TComIo::Report(const std::exception& failure, const char* ownText) {
    const std::string message = failure.what();
    host_.ShowFailure(message.empty() ? ownText : message, KindOf(failure));
    CloseIfLineGone(failure);
}

void TComIo::CloseIfLineGone(const std::exception& failure) {
    // Nothing more can be said on a line that has gone: close the port, so
    // that the window shows it closed and nobody keeps asking a dead line.
    // The status text keeps the failure; the next search opens the port anew.
    // The close also ends remote mode as far as this link knows (the port's
    // after-close notification).
    const auto* serial = dynamic_cast<const EComPort*>(&failure);
    if (serial && LineHasGone(*serial) && cPort.Connected()) cPort.Close();
}

void TComIo::OpenPort(const std::string& port) {
    // The component's stored default rate is never used: set it before every open.
    cPort.SetBaudRate(br115200);
    cPort.SetPort(port);
    connectingShown_ = false;
    cPort.Open();
}

void TComIo::SetEventHandOver(std::function<void()> post) { cPort.OnEventsQueued = std::move(post); }

void TComIo::HandleLineEvents() { cPort.HandleQueuedEvents(); }

// ---- primitives -----------------------------------------------------------

void TComIo::SendText(const std::string& text) {
    // Leftovers of an earlier exchange (a late reply, the line feed after a
    // carriage return) must not be taken for the answer to this command.
    cPort.PurgeBuffers(true, true);
    if (!text.empty()) cPort.WriteText(text);
}

int TComIo::ReadByte(int n) {
    TComTimeouts& timeouts = cPort.Timeouts();
    timeouts.SetReadTotalMultiplier(-1);
    timeouts.SetReadTotalConstant(3 * n);
    const std::string got = cPort.ReadText(1);
    if (got.empty()) return -1;
    return static_cast<unsigned char>(got[0]);
}

int TComIo::ReadLine() {
    int index = 0;
    for (int received = 0; received < LineBufferSize; ++received) {
        if (stopWaiting_ && stopWaiting_()) return 0;
        const int c = ReadByte(CharacterWait);
        if (c < 0) return 0;
        if (c == LineEnd) return index;
        // The line feed that ends the previous reply may arrive only after
        // the purge before this command; before any character of a reply it
        // belongs to none.
        if (c == LineFeed && index == 0) continue;
        LineBuffer[index++] = static_cast<std::uint8_t>(c);
    }
    // A full buffer without a carriage return is no reply; the rest of the
    // line is purged before the next command.
    return 0;
}

bool TComIo::DecodeHexReply(std::span<std::uint8_t> destination, int length) {
    length = std::clamp(length, 0, LineBufferSize);
    const std::string_view line(reinterpret_cast<const char*>(LineBuffer.data()), static_cast<std::size_t>(length));
    return DecodeHexPairs(line, destination);
}

int TComIo::ExpectReply() {
    const int length = ReadLine();
    if (length == 0) throw EFailure();
    return length;
}

void TComIo::ExpectData(std::span<std::uint8_t> destination) {
    if (!DecodeHexReply(destination, ExpectReply())) throw EFailure();
}

// ---- operations -----------------------------------------------------------

SchedulerState TComIo::FindSimulator(const std::string& port, bool lastAttempt) {
    ClosePort();
    host_.SetSerialText(LinkText::Unknown);
    host_.SetVersionText(LinkText::Unknown);
    host_.ProcessMessages();
    try {
        OpenPort(port);
        host_.PanelInfo(LinkText::Searching);
        SendText(Command::Identity);
        const int length = ReadLine();
        if (length == 0) {
            // A silent simulator uses up an attempt; the scheduler asks again.
            if (lastAttempt) throw EFailure();
            return SchedulerState::Search;
        }
        if (!DecodeHexReply(state_.Identity, length)) throw EFailure();
        host_.SetSerialText(state_.SerialNumber());

        SendText(Command::Header);
        ExpectData(state_.InstalledHeader);
        host_.SetVersionText(state_.InstalledVersionText());

        // Any difference in the identity means another firmware, newer or
        // older alike: the carried image replaces it.
        const auto carried = image_.Header();
        const bool same = carried.size() >= static_cast<std::size_t>(FirmwareIdentitySize) &&
                          std::equal(carried.begin(), carried.begin() + FirmwareIdentitySize,
                                     state_.InstalledHeader.begin());
        return same ? SchedulerState::ReadConfiguration : SchedulerState::AutoUpdate;
    } catch (const std::exception& failure) {
        Report(failure, LinkText::NotFound);
        // Directly, without the remote-mode command: the simulator is not talking.
        if (cPort.Connected()) cPort.Close();
        return SchedulerState::Stopped;
    }
}

bool TComIo::ReadStatus() {
    try {
        SendText(Command::Status);
        const int length = ExpectReply();
        ParseStatusLine(std::string_view(reinterpret_cast<const char*>(LineBuffer.data()),
                                         static_cast<std::size_t>(length)),
                        state_);
        host_.ShowStatus();
        return true;
    } catch (const std::exception& failure) {
        Report(failure, LinkText::StatusFailed);
        return false;
    }
}

SchedulerState TComIo::ReadConfig() {
    try {
        SendText(Command::Config);
        ExpectData(state_.ConfigBlock);
        host_.ShowConfiguration();
        if (!RemoteMode(true)) throw EFailure();
        return SchedulerState::Polling;
    } catch (const std::exception& failure) {
        Report(failure, LinkText::ConfigFailed);
        return SchedulerState::Stopped;
    }
}

bool TComIo::SetProtocol(std::uint8_t code) {
    try {
        SendText(ProtocolCommand(code));
        ExpectReply();
        return true;
    } catch (const std::exception& failure) {
        Report(failure, LinkText::ProtocolFailed);
        return false;
    }
}

bool TComIo::SendDtc(std::uint8_t counts, std::uint8_t mil, const std::array<std::uint16_t, DtcSlots>& ecu1,
                     const std::array<std::uint16_t, DtcSlots>& ecu2) {
    try {
        // Both tables always go out, whatever the counts and the ECU count say.
        SendText(TableWriteCommand(ConfigOffset::DtcTable1, ecu1));
        ExpectReply();
        SendText(TableWriteCommand(ConfigOffset::DtcTable2, ecu2));
        ExpectReply();
        SendText(CountsCommand(counts, mil));
        ExpectReply();
        return true;
    } catch (const std::exception& failure) {
        Report(failure, LinkText::SetupFailed);
        return false;
    }
}

bool TComIo::RemoteMode(bool on) {
    SendText(on ? Command::RemoteOn : Command::RemoteOff);
    // Recorded whatever comes back: the command has gone out.
    remoteMode_ = on;
    return ReadLine() != 0;
}

bool TComIo::SetRemoteMode(bool on) {
    try {
        return RemoteMode(on);
    } catch (const std::exception& failure) {
        const std::string message = failure.what();
        if (!message.empty()) host_.ShowFailure(message, KindOf(failure));
        CloseIfLineGone(failure);
        return false;
    }
}

void TComIo::ClosePort() {
    if (!cPort.Connected()) return;
    if (remoteMode_) {
        // Its reply is awaited even by a front end that stops waiting: a
        // port closed right after the write can lose the command on its way.
        const std::function<bool()> stopWaiting = SetStopWaiting(nullptr);
        try {
            RemoteMode(false);
        } catch (const std::exception&) {
            // Leaving remote mode is a courtesy; the port closes regardless.
        }
        SetStopWaiting(stopWaiting);
    }
    cPort.Close();
}
