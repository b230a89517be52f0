#pragma once
// Settings of the emulated simulator: its preset state, its timing and the
// faults it can be told to show. The defaults give a well-behaved simulator.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Misbehaviour of the running firmware, for tests of the tool's failure paths.
struct CommandFaults {
    bool Silent = false;          // logs commands but neither answers nor acts on them
    bool NoHash = false;          // data replies ("!I", "!B", "!C") lack the leading "#"
    bool EmptyIdentity = false;   // "!I" is answered by an empty line
    bool GarbledHex = false;      // data replies carry a non-hex digit in their middle pair
    char MissingTag = 0;          // one of P T M I L R left out of the status line; 0 none
    bool RefuseProtocol = false;  // "!P" is logged but never answered: the tool's change fails
    int ByteDelayMs = 0;          // pause before every reply byte, the line end's two
                                  // counting as one (a slow simulator)
    int VanishAfter = 0;          // answers this many commands, then closes the port when
                                  // the next one comes (cuts a memory line); 0 never
    int ReturnAfterMs = -1;       // after vanishing, comes back on a new pseudo-terminal
                                  // (the link re-pointed), or on a fresh memory line of the
                                  // same name, this long later; -1 never
};

// Misbehaviour of the boot loader. Frames are counted from 1 (the header
// frame) within one boot-loader session.
struct BootFaults {
    bool NeverAnswerPoll = false; // the poll byte "P" is never answered with "c"
    int BadAckChecksumFrame = 0;  // acknowledge this frame with a wrong checksum; 0 none
    int NoAckFrame = 0;           // do not acknowledge this frame; 0 none
    int AckDelayMs = 0;           // pause before every acknowledgement
};

// The diagnostic side: an ELM327-style adapter on a second pseudo-terminal,
// with the configured ECUs behind it (POSIX, and not beside a memory line).
struct ObdOptions {
    bool Enabled = false;
    std::string LinkPath;         // also make this symlink to the diagnostic port
    int Baud = 38400;             // the adapter's line speed, which paces its replies
    int EcuDelayMs = 20;          // from a request's end to the ECUs' answer
    bool Live = false;            // engine speed and vehicle speed move
};

struct EmulatorOptions {
    std::string Serial = "KNEMU0001";                   // at most 16 characters are kept
    std::optional<std::array<std::uint8_t, 3>> Version; // default: the carried image's version
    int Protocol = 6;                                   // 1 to 9
    bool TwoEcus = false;
    std::vector<std::uint16_t> Codes1;                  // trouble-code words, at most 10 each
    std::vector<std::uint16_t> Codes2;
    bool Mil = false;

    bool StartInBootLoader = false;
    int RestartSilenceMs = 800;   // silence after the closing boot-loader frame
    bool Pace = false;            // hold every byte to the time it takes at 115200 baud

    CommandFaults Faults;
    BootFaults Boot;
    ObdOptions Obd;

    // Serve on a line in memory registered under this name (MemoryLine), which
    // a port in the same process opens as "memory:NAME", instead of on a
    // pseudo-terminal; the only kind of port on Windows.
    std::string MemoryLineName;
    std::string LinkPath;         // also make this symlink to the port (removed at Stop)
    std::string LogPath;          // append every log entry to this file, flushed
    bool LogTimes = false;        // ... each after its time in ms since Start ("1234.567 !S")
    bool KeepLog = true;          // keep the log in memory for Log() and the Wait helpers

    // Called from the service thread when the port comes back, with its
    // name (a new path; the same "memory:NAME").
    std::function<void(const std::string& path)> OnPortChanged;
};
