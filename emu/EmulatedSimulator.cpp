#include "EmulatedSimulator.h"

#include "EmulatorService.h"
#include "FirmwareBlob.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

const char kIdentityText[] = "KARNOL OBD-II SIMULATOR";  // identity bytes 0.., NUL-padded
const char kVinText[] = "WKN0EMU0000000001";             // configuration bytes 0x10..

}  // namespace

DeviceState EmulatedSimulator::InitialState(const EmulatorOptions& o) {
    if (o.Protocol < 1 || o.Protocol > 9) throw std::invalid_argument("protocol must be 1 to 9");
    if (o.Codes1.size() > kCodeSlots || o.Codes2.size() > kCodeSlots)
        throw std::invalid_argument("at most 10 trouble codes per ECU");
    DeviceState s;
    std::memcpy(s.Identity.data(), kIdentityText, sizeof kIdentityText - 1);
    for (std::size_t i = 0; i < kSerialSize && i < o.Serial.size(); ++i)
        s.Identity[kSerialOffset + i] = static_cast<std::uint8_t>(o.Serial[i]);

    // The carried image is what a simulator fresh from the factory runs.
    const auto blob = CarriedFirmwareBlob();
    std::copy_n(blob.begin(), std::min(blob.size(), kHeaderSize), s.InstalledHeader.begin());
    if (o.Version)
        std::copy(o.Version->begin(), o.Version->end(), s.InstalledHeader.begin() + kVersionOffset);
    if (blob.size() > kHeaderSize) {
        const std::size_t body = std::min(blob.size() - kHeaderSize, kFlashHeaderOffset);
        std::copy_n(blob.begin() + kHeaderSize, body, s.Flash.begin());
    }
    std::copy(s.InstalledHeader.begin(), s.InstalledHeader.end(),
              s.Flash.begin() + static_cast<std::ptrdiff_t>(kFlashHeaderOffset));

    s.Protocol = static_cast<std::uint8_t>(o.Protocol);
    s.SecondEcu = o.TwoEcus;
    s.MilOn = o.Mil;
    s.Config[0] = 'K';
    s.Config[1] = 'N';
    s.Config[2] = 0x01;  // layout revision
    s.Config[kEcu1AddressOffset] = 0x10;
    s.Config[kEcu2AddressOffset] = 0x18;
    s.Config[kEcu1CanIdOffset] = 0xE8;
    s.Config[kEcu1CanIdOffset + 1] = 0x07;
    s.Config[kEcu2CanIdOffset] = 0xE9;
    s.Config[kEcu2CanIdOffset + 1] = 0x07;
    std::memcpy(s.Config.data() + 0x10, kVinText, sizeof kVinText - 1);
    s.SetCodes(1, o.Codes1);
    s.SetCodes(2, o.Codes2);
    s.CodeCounts = static_cast<std::uint8_t>(o.Codes1.size() | o.Codes2.size() << 4);
    return s;
}

EmulatedSimulator::EmulatedSimulator(EmulatorOptions options) : service_(std::make_unique<EmulatorService>(std::move(options))) {}
EmulatedSimulator::~EmulatedSimulator() { Stop(); }
void EmulatedSimulator::Start() { service_->Start(); }
void EmulatedSimulator::Stop() { service_->Stop(); }

bool EmulatedSimulator::Running() const {
    std::lock_guard lock(service_->mutex);
    return service_->running;
}

std::string EmulatedSimulator::PortPath() const {
    std::lock_guard lock(service_->mutex);
    return service_->portPath;
}

std::string EmulatedSimulator::ObdPortPath() const {
    std::lock_guard lock(service_->mutex);
    return service_->obd ? service_->obd->Path() : std::string();
}

std::vector<std::string> EmulatedSimulator::Log() const {
    std::lock_guard lock(service_->mutex);
    return service_->log;
}

std::vector<EmulatedSimulator::TimedEntry> EmulatedSimulator::TimedLog(std::size_t from) const {
    std::lock_guard lock(service_->mutex);
    std::vector<TimedEntry> entries;
    if (from < service_->log.size()) entries.reserve(service_->log.size() - from);
    for (std::size_t i = from; i < service_->log.size(); ++i) entries.push_back({service_->log[i], service_->logTimes[i]});
    return entries;
}

std::size_t EmulatedSimulator::LogSize() const {
    std::lock_guard lock(service_->mutex);
    return service_->log.size();
}

void EmulatedSimulator::ClearLog() {
    std::lock_guard lock(service_->mutex);
    service_->log.clear();
    service_->logTimes.clear();
}

bool EmulatedSimulator::WaitForLogSize(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(service_->mutex);
    return service_->logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return service_->log.size() >= n; });
}

bool EmulatedSimulator::WaitForLogEntry(std::string_view entry, int timeoutMs) const {
    std::unique_lock lock(service_->mutex);
    return service_->logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::find(service_->log.begin(), service_->log.end(), entry) != service_->log.end();
    });
}

void EmulatedSimulator::PressReset() {
    service_->resetRequested = true;
    service_->Wake();
}

bool EmulatedSimulator::InBootLoader() const {
    std::lock_guard lock(service_->mutex);
    return service_->mode == EmulatorService::Mode::BootLoader;
}

DeviceState EmulatedSimulator::State() const {
    std::lock_guard lock(service_->mutex);
    return service_->state;
}

void EmulatedSimulator::SetState(const DeviceState& state) {
    std::lock_guard lock(service_->mutex);
    service_->state = state;
    service_->state.Flash.resize(kFlashSize, 0xFF);
}

void EmulatedSimulator::SetFaults(const CommandFaults& faults) {
    std::lock_guard lock(service_->mutex);
    service_->faults = faults;
}

void EmulatedSimulator::SetBootFaults(const BootFaults& faults) {
    std::lock_guard lock(service_->mutex);
    service_->bootFaults = faults;
}
