#include "NetworkPort.h"

#include "TimeoutRules.h"

#include <algorithm>
#include <thread>

namespace {

using Clock = NetworkPort::Clock;
// A raw server that refuses a client accepts the connection and ends it at
// once (ser2net first says why). Ending it within this time after the
// connect makes it a port in use rather than a line that went away later.
constexpr std::chrono::milliseconds RawRefusalGrace{50};

std::uint8_t ParityCode(TParityBits parity) {
    switch (parity) {
    case prOdd: return ComPort::ParityOdd;
    case prEven: return ComPort::ParityEven;
    case prMark: return ComPort::ParityMark;
    case prSpace: return ComPort::ParitySpace;
    case prNone: break;
    }
    return ComPort::ParityNone;
}

std::uint8_t StopCode(TStopBits stop) {
    switch (stop) {
    case sbOne5StopBits: return ComPort::StopOneAndHalf;
    case sbTwoStopBits: return ComPort::StopTwo;
    case sbOneStopBit: break;
    }
    return ComPort::StopOne;
}

// What the server is told of; the rest of the settings are the local side's.
bool SameOnServer(const LineSettings& a, const LineSettings& b) {
    return a.Rate == b.Rate && a.DataBits == b.DataBits && a.Parity == b.Parity && a.StopBits == b.StopBits &&
           a.Dtr == b.Dtr && a.Rts == b.Rts;
}

// More answers than one request asks for can only come from a server that
// floods: those are dropped.
constexpr std::size_t kMaxAnswers = 16;

}  // namespace

std::unique_ptr<PortDevice> OpenNetworkDevice(const std::string& name, const LineSettings& settings,
                                              const LongWaitHook& longWait) {
    const std::optional<NetworkAddress> address = ParseNetworkPortName(name);
    if (!address) throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
    WaitSteps::KeepWaiting keepWaiting;
    if (longWait) {
        const std::string target = address->Host + ":" + address->Service;
        keepWaiting = [longWait, target] { return longWait(target); };
        if (!keepWaiting()) throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
    }
    // One deadline for all of the open, however many times it is asked:
    // the user was promised an answer within it.
    const auto deadline = Clock::now() + NetworkPort::ConnectTimeout;
    // ser2net lets go of its device only a moment after the previous client
    // has left, and refuses whoever comes in between as if the line were in
    // use: a refusal is asked again for a short while before it counts.
    const auto askUntil = Clock::now() + NetworkPort::RefusalRetry;
    for (;;) {
        try {
            return std::make_unique<NetworkPort>(*address, settings, keepWaiting, deadline);
        } catch (const EComPort& failure) {
            if (failure.Kind() != FailureKind::InUse || Clock::now() >= askUntil) throw;
        }
        std::this_thread::sleep_for(NetworkPort::RefusalRetryStep);
        if (keepWaiting && !keepWaiting()) throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
    }
}

NetworkPort::NetworkPort(const NetworkAddress& address, const LineSettings& settings,
                         WaitSteps::KeepWaiting keepWaiting, Clock::time_point deadline)
    : address_(address), keepWaiting_(std::move(keepWaiting)) {
    WaitSteps steps(deadline, keepWaiting_);
    socket_.Connect(address_.Host, address_.Service, steps);
    if (!Telnet()) {
        // Wait briefly for a refusal; a server that stays silent is fine.
        // Wait the whole grace: the refusal's text and the end of the
        // connection may come in two pieces.
        const Clock::time_point grace = std::min(deadline, Clock::now() + RawRefusalGrace);
        while (!ended_ && PumpUntil(grace)) {
        }
        if (ended_) throw EComPort(CError_OpenFailed, NetworkSocket::InUseError());
    } else {
        (void)SendNow(codec_.Start(), deadline);
        while (!codec_.Settled()) {
            if (ended_) throw EComPort(CError_OpenFailed, NetworkSocket::InUseError());
            if (!PumpUntil(deadline) && !codec_.Settled())
                throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
        }
        // Without the COM-PORT option the server cannot be told the line's settings.
        if (codec_.Ours(Telnet::ComPortOption) != Rfc2217Codec::OptionState::On)
            throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
    }
    // A server that takes the connection but never answers the settings is
    // as good as none.
    ApplyLineBy(settings, deadline, CError_OpenFailed);
    keepWaiting_ = nullptr;  // from here on the port's own time-outs hold
}

bool NetworkPort::Pump() {
    if (ended_) return false;
    std::string received;
    const bool open = socket_.ReceiveNow(received);
    tookSomething_ = !received.empty();
    if (!received.empty()) {
        if (Telnet()) {
            std::string reply;
            codec_.Decode(received, input_, reply);
            for (auto& answer : codec_.TakeAnswers()) {
                const bool awaited = std::find(awaited_.begin(), awaited_.end(), answer.Command) != awaited_.end();
                if (awaited && answers_.size() < kMaxAnswers) answers_.push_back(std::move(answer));
            }
            // Answers to the server's requests go out at once; a connection
            // that breaks meanwhile shows at the next read or write.
            if (!reply.empty()) {
                try {
                    (void)socket_.Send(reply, Clock::now() + ConnectTimeout);
                } catch (const EComPort&) {
                }
            }
        } else {
            input_ += received;
        }
    }
    if (!open) ended_ = true;
    return open;
}

bool NetworkPort::PumpUntil(Deadline deadline) {
    if (!Pump()) return true;
    // Something taken just now is progress enough: the caller looks first.
    if (tookSomething_) return true;
    if (keepWaiting_ && deadline) {
        // Opening: in steps, so that the owner can keep its window alive.
        WaitSteps steps(*deadline, keepWaiting_);
        while (!socket_.WaitReadable(steps.StepEnd())) {
            if (!steps.Continue()) {
                if (steps.GaveUp()) throw EComPort(CError_OpenFailed, NetworkSocket::MissingError());
                return false;
            }
        }
    } else if (!socket_.WaitReadable(deadline)) {
        return false;
    }
    (void)Pump();
    return true;
}

void NetworkPort::FailGone(int errorCode) const {
    // Before anything reached a reader, a server that ends the connection
    // has refused this client (ser2net: "Port already in use").
    if (!delivered_ && !settled_ && Telnet()) throw EComPort(CError_OpenFailed, NetworkSocket::InUseError());
    if (!delivered_ && !Telnet()) throw EComPort(CError_OpenFailed, NetworkSocket::InUseError());
    throw EComPort(errorCode, NetworkSocket::GoneError());
}

std::size_t NetworkPort::SendNow(const std::string& bytes, Deadline deadline) {
    if (ended_) FailGone(CError_WriteFailed);
    try {
        return socket_.Send(bytes, deadline);
    } catch (const EComPort&) {
        // The server may have refused this client just before (a refusal
        // that crossed our first request): say so rather than "gone".
        ended_ = true;
        FailGone(CError_WriteFailed);
    }
}

std::optional<std::string> NetworkPort::AnswerTo(std::uint8_t command, Clock::time_point deadline) {
    for (;;) {
        const auto it = std::find_if(answers_.begin(), answers_.end(),
                                     [command](const Rfc2217Codec::Answer& a) { return a.Command == command; });
        if (it != answers_.end()) {
            std::string value = std::move(it->Value);
            answers_.erase(it);
            return value;
        }
        if (ended_) return std::nullopt;
        if (!PumpUntil(deadline)) return std::nullopt;
    }
}

void NetworkPort::ApplyLine(const LineSettings& wanted) {
    ApplyLineBy(wanted, Clock::now() + ConnectTimeout, CError_SetStateFailed);
}

void NetworkPort::ApplyLineBy(const LineSettings& wanted, Clock::time_point deadline, int silentError) {
    if (applied_ && SameOnServer(*applied_, wanted)) return;
    if (!Telnet()) {
        settled_ = true;
        applied_ = wanted;
        return;
    }
    const int rate = wanted.Rate;
    const TDataBits dataBits = wanted.DataBits;
    const TParityBits parity = wanted.Parity;
    const TStopBits stopBits = wanted.StopBits;
    const TDTRFlowControl dtr = wanted.Dtr;
    const TRTSFlowControl rts = wanted.Rts;
    if (rate <= 0) throw EComPort(CError_SetStateFailed, NetworkSocket::RefusedSettingError());
    const std::string baud = Rfc2217Codec::BaudRateValue(static_cast<std::uint32_t>(rate));
    const auto size = static_cast<std::uint8_t>(5 + dataBits);
    struct Setting {
        std::uint8_t Command;
        std::string Value;
    };
    const Setting settings[] = {
        {ComPort::SetBaudRate, baud},
        {ComPort::SetDataSize, std::string(1, static_cast<char>(size))},
        {ComPort::SetParity, std::string(1, static_cast<char>(ParityCode(parity)))},
        {ComPort::SetStopSize, std::string(1, static_cast<char>(StopCode(stopBits)))},
    };
    std::string request;
    for (const Setting& s : settings) request += Rfc2217Codec::Command(s.Command, s.Value);
    request += Rfc2217Codec::Command(ComPort::SetControl, ComPort::NoFlowControl);
    // DTR and RTS: asked for, never awaited. A server in front of a
    // pseudo-terminal (ser2net) does not answer these two at all.
    if (dtr != dtrHandshake) request += Rfc2217Codec::Command(ComPort::SetControl, dtr == dtrEnable ? ComPort::DtrOn : ComPort::DtrOff);
    if (rts == rtsDisable || rts == rtsEnable)
        request += Rfc2217Codec::Command(ComPort::SetControl, rts == rtsEnable ? ComPort::RtsOn : ComPort::RtsOff);
    awaited_.clear();
    for (const Setting& s : settings) awaited_.push_back(s.Command);
    struct Forget {
        NetworkPort& port;
        ~Forget() {
            port.awaited_.clear();
            port.answers_.clear();
        }
    } forget{*this};
    (void)SendNow(request, deadline);
    for (const Setting& s : settings) {
        const std::optional<std::string> answer = AnswerTo(s.Command, deadline);
        if (!answer) {
            if (ended_) FailGone(CError_SetStateFailed);
            throw EComPort(silentError, NetworkSocket::MissingError());
        }
        // The server answers with what it has set; anything else was refused.
        if (*answer != s.Value) throw EComPort(CError_SetStateFailed, NetworkSocket::RefusedSettingError());
    }
    settled_ = true;
    applied_ = wanted;
}

void NetworkPort::Purge(bool input, bool /*output*/) {
    if (input) {
        (void)Pump();
        input_.clear();
    }
    // Goes out in front of the next command, in the same packet. Only the
    // server's receive side: what this port sent before has been written
    // and answered, and ser2net carries out a transmit purge on the device
    // only after it has begun writing what follows the purge, so that the
    // start of the next command or frame would be lost on a slow line.
    if (input && Telnet()) control_ += Rfc2217Codec::Command(ComPort::PurgeData, ComPort::PurgeReceive);
}

int NetworkPort::Write(const std::string& data, Deadline deadline) {
    std::string wire = std::move(control_);
    control_.clear();
    const std::size_t head = wire.size();
    wire += Telnet() ? codec_.EncodeData(data) : data;
    const std::size_t sent = SendNow(wire, deadline);
    if (sent == wire.size()) return static_cast<int>(data.size());
    // Part of it: count the data bytes that went (escapes make this an estimate).
    return static_cast<int>(std::min(data.size(), sent > head ? sent - head : 0));
}

std::string NetworkPort::Read(int count, const ReadPlan& plan) {
    // Commands still waiting (a purge with no command after it) go out first.
    if (!control_.empty()) {
        std::string pending = std::move(control_);
        control_.clear();
        (void)SendNow(pending, Clock::now() + ConnectTimeout);
    }
    auto take = [this](std::string& out, std::size_t max) -> std::size_t {
        (void)Pump();
        if (input_.empty()) {
            // What came before the end first; the read after it fails.
            if (ended_ && out.empty()) FailGone(CError_ReadFailed);
            return 0;
        }
        const std::size_t n = std::min(max, input_.size());
        out.append(input_, 0, n);
        input_.erase(0, n);
        delivered_ = true;
        return n;
    };
    auto waitUntil = [this](Deadline until) {
        if (ended_) return false;
        return PumpUntil(until);
    };
    return ReadUnderPlan(count, plan, take, waitUntil);
}

TComErrors NetworkPort::ClearError(int& inQueue) {
    (void)Pump();
    inQueue = static_cast<int>(input_.size());
    return 0;
}

bool NetworkPort::WaitForInput(Deadline deadline) {
    for (;;) {
        (void)Pump();
        if (!input_.empty() || ended_) return true;  // an end: the next read reports it
        if (!PumpUntil(deadline)) return !input_.empty() || ended_;
    }
}
