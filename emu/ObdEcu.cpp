#include "ObdEcu.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {

namespace service {
constexpr std::uint8_t kCurrentData = 0x01;
constexpr std::uint8_t kStoredCodes = 0x03;
constexpr std::uint8_t kClearCodes = 0x04;
constexpr std::uint8_t kPendingCodes = 0x07;
constexpr std::uint8_t kPermanentCodes = 0x0A;
constexpr std::uint8_t kVehicleInfo = 0x09;
constexpr std::uint8_t kPositiveOffset = 0x40;
}  // namespace service

namespace pid {
constexpr std::uint8_t kSupported01To20 = 0x00;
constexpr std::uint8_t kMonitorStatus = 0x01;
constexpr std::uint8_t kCoolant = 0x05;
constexpr std::uint8_t kEngineSpeed = 0x0C;
constexpr std::uint8_t kVehicleSpeed = 0x0D;
constexpr std::uint8_t kIntakeAir = 0x0F;
constexpr std::uint8_t kThrottle = 0x11;
constexpr std::uint8_t kObdStandard = 0x1C;
constexpr std::uint8_t kRunTime = 0x1F;
constexpr std::uint8_t kSupported21To40 = 0x20;
constexpr std::uint8_t kSupported41To60 = 0x40;
constexpr std::uint8_t kVinSupported = 0x00;
constexpr std::uint8_t kVin = 0x02;
}  // namespace pid

constexpr std::uint8_t kMilBit = 0x80;
// Monitor status bytes B to D: spark ignition; misfire, fuel system and
// comprehensive components supported and complete; catalyst, evaporative
// system, oxygen sensor and its heater supported and complete.
constexpr std::uint8_t kContinuousMonitors = 0x07;
constexpr std::uint8_t kNonContinuousSupported = 0x65;
constexpr std::uint8_t kNonContinuousIncomplete = 0x00;
constexpr std::uint8_t kStandardEobd = 0x06;
constexpr int kTemperatureOffset = 40;

// Off CAN, a code answer carries three codes per message, padded with zeros,
// and the VIN comes in five numbered messages of four characters.
constexpr std::size_t kLegacyCodesPerMessage = 3;
constexpr std::size_t kLegacyVinChunk = 4;
constexpr std::size_t kLegacyVinPadding = 3;
constexpr std::size_t kCanMaxPids = 6;

const std::vector<std::uint8_t> kEnginePids = {
    pid::kSupported01To20, pid::kMonitorStatus, pid::kCoolant,  pid::kEngineSpeed,    pid::kVehicleSpeed,
    pid::kIntakeAir,       pid::kThrottle,      pid::kObdStandard, pid::kRunTime, pid::kSupported21To40,
    pid::kSupported41To60};
const std::vector<std::uint8_t> kTransmissionPids = {pid::kSupported01To20, pid::kMonitorStatus,
                                                     pid::kVehicleSpeed, pid::kObdStandard};

const std::vector<std::uint8_t>& PidsOf(int ecu) { return ecu == 1 ? kEnginePids : kTransmissionPids; }

bool Supports(int ecu, std::uint8_t p) {
    const auto& pids = PidsOf(ecu);
    return std::find(pids.begin(), pids.end(), p) != pids.end();
}

// Four bytes with a bit for each supported PID of the 32 after base, the
// first PID in the top bit.
std::vector<std::uint8_t> SupportedMask(int ecu, std::uint8_t base) {
    std::uint32_t mask = 0;
    for (std::uint8_t p : PidsOf(ecu))
        if (p > base && p <= base + 0x20) mask |= 1u << (31 - (p - base - 1));
    return {static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
            static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)};
}

std::vector<std::uint8_t> Word(int value) {
    const int v = std::clamp(value, 0, 0xFFFF);
    return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v & 0xFF)};
}

std::uint8_t Byte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 0xFF)); }

std::optional<std::vector<std::uint8_t>> PidData(int ecu, std::uint8_t p, const DeviceState& state,
                                                 const VehicleSignals& s) {
    if (!Supports(ecu, p)) return std::nullopt;
    switch (p) {
    case pid::kSupported01To20:
    case pid::kSupported21To40:
    case pid::kSupported41To60: return SupportedMask(ecu, p);
    case pid::kMonitorStatus:
        return std::vector<std::uint8_t>{
            static_cast<std::uint8_t>((state.MilOn ? kMilBit : 0) | ActiveCodeCount(state, ecu)),
            kContinuousMonitors, kNonContinuousSupported, kNonContinuousIncomplete};
    case pid::kCoolant: return std::vector<std::uint8_t>{Byte(s.CoolantC + kTemperatureOffset)};
    case pid::kEngineSpeed: return Word(s.Rpm * 4);
    case pid::kVehicleSpeed: return std::vector<std::uint8_t>{Byte(s.SpeedKmh)};
    case pid::kIntakeAir: return std::vector<std::uint8_t>{Byte(s.IntakeC + kTemperatureOffset)};
    case pid::kThrottle: return std::vector<std::uint8_t>{Byte((s.ThrottlePercent * 255 + 50) / 100)};
    case pid::kObdStandard: return std::vector<std::uint8_t>{kStandardEobd};
    case pid::kRunTime: return Word(s.RunSeconds);
    default: return std::nullopt;
    }
}

std::vector<std::vector<std::uint8_t>> CurrentData(int ecu, const std::vector<std::uint8_t>& request,
                                                   const DeviceState& state, bool can, const VehicleSignals& s) {
    const std::size_t pids = request.size() - 1;
    // One PID per request off CAN; up to six on CAN.
    if (pids == 0 || pids > (can ? kCanMaxPids : 1)) return {};
    std::vector<std::uint8_t> message{service::kCurrentData + service::kPositiveOffset};
    for (std::size_t i = 1; i < request.size(); ++i) {
        const auto data = PidData(ecu, request[i], state, s);
        if (!data) continue;
        message.push_back(request[i]);
        message.insert(message.end(), data->begin(), data->end());
    }
    if (message.size() == 1) return {};  // nothing this ECU knows
    return {message};
}

std::vector<std::vector<std::uint8_t>> CodeMessages(std::uint8_t reply, const std::vector<std::uint16_t>& codes,
                                                    bool can) {
    auto addCode = [](std::vector<std::uint8_t>& m, std::uint16_t code) {
        m.push_back(static_cast<std::uint8_t>(code >> 8));
        m.push_back(static_cast<std::uint8_t>(code & 0xFF));
    };
    if (can) {
        std::vector<std::uint8_t> m{reply, static_cast<std::uint8_t>(codes.size())};
        for (auto code : codes) addCode(m, code);
        return {m};
    }
    std::vector<std::vector<std::uint8_t>> messages;
    std::size_t at = 0;
    do {
        std::vector<std::uint8_t> m{reply};
        for (std::size_t i = 0; i < kLegacyCodesPerMessage; ++i, ++at) addCode(m, at < codes.size() ? codes[at] : 0);
        messages.push_back(m);
    } while (at < codes.size());
    return messages;
}

std::vector<std::vector<std::uint8_t>> VehicleInfo(int ecu, const std::vector<std::uint8_t>& request, bool can) {
    constexpr std::uint8_t reply = service::kVehicleInfo + service::kPositiveOffset;
    if (ecu != 1 || request.size() != 2) return {};
    if (request[1] == pid::kVinSupported) {
        // PID 02 (the VIN) only.
        std::vector<std::uint8_t> m{reply, pid::kVinSupported};
        if (!can) m.push_back(1);  // message number
        m.insert(m.end(), {0x40, 0x00, 0x00, 0x00});
        return {m};
    }
    if (request[1] != pid::kVin) return {};
    if (can) {
        std::vector<std::uint8_t> m{reply, pid::kVin, 1};  // one data item
        m.insert(m.end(), kDemoVin.begin(), kDemoVin.end());
        return {m};
    }
    std::vector<std::uint8_t> padded(kLegacyVinPadding, 0);
    padded.insert(padded.end(), kDemoVin.begin(), kDemoVin.end());
    std::vector<std::vector<std::uint8_t>> messages;
    for (std::size_t at = 0, n = 1; at < padded.size(); at += kLegacyVinChunk, ++n) {
        std::vector<std::uint8_t> m{reply, pid::kVin, static_cast<std::uint8_t>(n)};
        m.insert(m.end(), padded.begin() + static_cast<std::ptrdiff_t>(at),
                 padded.begin() + static_cast<std::ptrdiff_t>(at + kLegacyVinChunk));
        messages.push_back(m);
    }
    return messages;
}

}  // namespace

int ActiveCodeCount(const DeviceState& state, int ecu) {
    const int count = ecu == 2 ? state.CodeCounts >> 4 : state.CodeCounts & 0x0F;
    return std::min(count, static_cast<int>(kCodeSlots));
}

VehicleSignals SignalsAt(double secondsRunning, bool live) {
    VehicleSignals s;
    s.RunSeconds = static_cast<int>(std::clamp(secondsRunning, 0.0, 65535.0));
    if (live) {
        constexpr double kCycleSeconds = 120;
        const double phase = (1 - std::cos(2 * std::numbers::pi * secondsRunning / kCycleSeconds)) / 2;
        s.SpeedKmh = static_cast<int>(std::lround(60 * phase));
        s.Rpm = static_cast<int>(std::lround(800 + 1800 * phase));
        s.ThrottlePercent = static_cast<int>(std::lround(15 + 20 * phase));
    }
    return s;
}

std::vector<EcuAnswer> AnswerObdRequest(const std::vector<std::uint8_t>& request, DeviceState& state, bool can,
                                        const VehicleSignals& signals) {
    std::vector<EcuAnswer> answers;
    if (request.empty()) return answers;
    const int ecus = state.SecondEcu ? 2 : 1;
    const std::uint8_t mode = request[0];
    const bool bare = request.size() == 1;
    for (int ecu = 1; ecu <= ecus; ++ecu) {
        EcuAnswer a;
        a.Ecu = ecu;
        switch (mode) {
        case service::kCurrentData: a.Messages = CurrentData(ecu, request, state, can, signals); break;
        case service::kStoredCodes:
            if (bare) {
                const auto table = state.Codes(ecu);
                const std::vector<std::uint16_t> active(table.begin(), table.begin() + ActiveCodeCount(state, ecu));
                a.Messages = CodeMessages(mode + service::kPositiveOffset, active, can);
            }
            break;
        case service::kPendingCodes:
        case service::kPermanentCodes:
            if (bare) a.Messages = CodeMessages(static_cast<std::uint8_t>(mode + service::kPositiveOffset), {}, can);
            break;
        case service::kClearCodes:
            if (bare) a.Messages = {{service::kClearCodes + service::kPositiveOffset}};
            break;
        case service::kVehicleInfo: a.Messages = VehicleInfo(ecu, request, can); break;
        default: break;
        }
        if (!a.Messages.empty()) answers.push_back(std::move(a));
    }
    if (mode == service::kClearCodes && bare) {
        state.CodeCounts = 0;
        state.MilOn = false;
    }
    return answers;
}
