#pragma once
// The emulator's diagnostic port: a pseudo-terminal on which the adapter is
// spoken. Lines come in with the time their carriage return crossed the
// line; replies leave no faster than the adapter's line speed allows, each
// not before the time it is due. Owned and driven by the service thread.
// POSIX only.

#include "DiagnosticPort.h"
#include "EmulatorPty.h"
#include "Wire.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

// Takes one byte the scan tool sent into the line being assembled; true when
// the byte ends the line (a carriage return), which the caller then takes
// and clears. Line feeds and other control characters are ignored; beyond
// the adapter's buffer a line stops growing and reads as an unknown command.
bool TakeAdapterByte(std::string& partial, char c);

class ObdPort final : public DiagnosticPort {
public:
    // Opens the pseudo-terminal and, when linkPath is not empty, points that
    // symlink at it; throws std::runtime_error when it cannot. ecuDelayMs:
    // from a request's end to the ECUs' answer.
    ObdPort(int baud, int ecuDelayMs, std::string linkPath);
    ~ObdPort() override;  // removes the link
    ObdPort(const ObdPort&) = delete;
    ObdPort& operator=(const ObdPort&) = delete;

    std::string Path() const override { return pty_->SlavePath(); }
    void Serve(const Answer& answer) override;
    std::optional<EmuClock::time_point> NextDue() const override;

    int Master() const { return pty_->Master(); }
    int Watch() const { return pty_->OpenWatch(); }
    void HandleWatch();

    struct Line {
        std::string Text;  // without its carriage return
        EmuClock::time_point Arrival;
    };
    // Takes what the tool wrote; complete lines wait in order until taken.
    void ReadInput();
    bool HasLine() const { return !lines_.empty(); }
    Line TakeLine();

    // Queues bytes to leave not before notBefore, after everything queued earlier.
    void Send(std::string_view bytes, EmuClock::time_point notBefore);
    bool Sending() const { return !out_.empty(); }
    // Writes every byte whose time has come.
    void Flush(EmuClock::time_point now);

private:
    struct Byte {
        EmuClock::time_point Due;
        char Value;
    };
    std::unique_ptr<EmulatorPty> pty_;
    std::string linkPath_;
    EmuClock::duration byteTime_;
    EmuClock::duration ecuDelay_;
    EmuClock::time_point rxClock_{};
    EmuClock::time_point txClock_{};
    std::string partial_;
    std::deque<Line> lines_;
    std::deque<Byte> out_;
};
