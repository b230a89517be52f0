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

bool EmulatedSimulator::Running() const { return service_->Running(); }
std::string EmulatedSimulator::PortPath() const { return service_->PortPath(); }
std::string EmulatedSimulator::ObdPortPath() const { return service_->ObdPortPath(); }
std::vector<std::string> EmulatedSimulator::Log() const { return service_->Log(); }

std::vector<EmulatedSimulator::TimedEntry> EmulatedSimulator::TimedLog(std::size_t from) const {
    std::vector<TimedEntry> entries;
    for (auto& [text, at] : service_->TimedLog(from)) entries.push_back({std::move(text), at});
    return entries;
}

std::size_t EmulatedSimulator::LogSize() const { return service_->LogSize(); }
void EmulatedSimulator::ClearLog() { service_->ClearLog(); }
bool EmulatedSimulator::WaitForLogSize(std::size_t n, int timeoutMs) const { return service_->WaitForLogSize(n, timeoutMs); }

bool EmulatedSimulator::WaitForLogEntry(std::string_view entry, int timeoutMs) const {
    return service_->WaitForLogEntry(entry, timeoutMs);
}

void EmulatedSimulator::PressReset() { service_->PressReset(); }
bool EmulatedSimulator::InBootLoader() const { return service_->InBootLoader(); }
DeviceState EmulatedSimulator::State() const { return service_->State(); }
void EmulatedSimulator::SetState(const DeviceState& state) { service_->SetState(state); }
void EmulatedSimulator::SetFaults(const CommandFaults& faults) { service_->SetFaults(faults); }
void EmulatedSimulator::SetBootFaults(const BootFaults& faults) { service_->SetBootFaults(faults); }
