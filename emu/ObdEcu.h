#pragma once
// The simulated ECUs behind the adapter: their answers to SAE J1979
// diagnostic requests, built from the simulator's configuration (protocol
// family, one or two ECUs, each ECU's active trouble codes, the MIL).
//
// Engine values (mode 01), an engine warm and running at idle:
//   PID 05 coolant 90 C, 0C engine speed 800 rpm, 0D vehicle speed 0 km/h,
//   0F intake air 30 C, 11 throttle 14.9 %, 1C OBD standard 06 (EOBD),
//   1F run time since engine start: the seconds since the emulator started.
//   PID 01: the MIL bit and that ECU's active code count; every monitor of
//   a spark-ignition engine supported and complete.
// With "live" the car drives off and back every two minutes: speed swings
// slowly between 0 and 60 km/h, engine speed between 800 and 2600 rpm and
// the throttle between 15 % and 35 %.
// ECU 1 (engine) answers mode 01 PIDs 00 01 05 0C 0D 0F 11 1C 1F 20 40 and
// mode 09 PIDs 00 and 02 (the VIN); ECU 2 (transmission) mode 01 PIDs 00 01
// 0D 1C. Both answer modes 03, 04, 07 and 0A: no pending and no permanent
// codes.

#include "DeviceState.h"

#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr std::string_view kDemoVin = "WKN0EMU0000000001";

struct VehicleSignals {
    int Rpm = 800;
    int SpeedKmh = 0;
    int ThrottlePercent = 15;
    int CoolantC = 90;
    int IntakeC = 30;
    int RunSeconds = 0;
};

// The engine secondsRunning after start; live: driving as described above.
VehicleSignals SignalsAt(double secondsRunning, bool live);

struct EcuAnswer {
    int Ecu = 1;                                         // 1 or 2
    std::vector<std::vector<std::uint8_t>> Messages;     // service byte first
};

// The answers of the configured ECUs to one request (service byte first,
// then its parameters), ECU 1 first; ECUs that do not answer are left out.
// can: the configured protocol is a CAN one (counts in mode 03 answers,
// several PIDs in one mode 01 request, long messages in one piece). Mode 04
// clears the stored codes of every ECU: both counts become 0 and the MIL goes
// off; the tables themselves keep their codes, as the configuration holds
// them.
std::vector<EcuAnswer> AnswerObdRequest(const std::vector<std::uint8_t>& request, DeviceState& state, bool can,
                                        const VehicleSignals& signals);

// The number of active codes of an ECU (1 or 2), as the configuration counts them.
int ActiveCodeCount(const DeviceState& state, int ecu);
