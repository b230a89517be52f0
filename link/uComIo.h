#pragma once
// The link: the only part of the tool that talks to the simulator. It owns the
// serial port, speaks the firmware's command protocol, decodes replies into
// SimulatorState and reports through ILinkHost; the boot loader's transfer is
// FirmwareUpdate, on top of this link's primitives. No widgets: the window
// and the command line drive the same code.

#include "FirmwareImage.h"
#include "LinkHost.h"
#include "SchedulerState.h"
#include "SimulatorState.h"

#include "serial/ComPort.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

class TComIo {
public:
    TComIo(ILinkHost& host, SimulatorState& state, const FirmwareImage& image);
    ~TComIo();
    TComIo(const TComIo&) = delete;
    TComIo& operator=(const TComIo&) = delete;

    // Operations. None lets a failure escape: each shows its failure on the
    // status text and returns its failure result.
    // Opens the named port (a name such as "ttyUSB0" or a path) and asks
    // for the simulator's identity: ReadConfiguration or AutoUpdate when it
    // answered; a silent port gives Search (the port left open for the next
    // attempt) unless this was the last attempt, which gives Stopped, as any
    // other failure does. The attempts are counted by whoever searches.
    SchedulerState FindSimulator(const std::string& port, bool lastAttempt);
    bool ReadStatus();
    SchedulerState ReadConfig();     // Polling or Stopped
    bool SetProtocol(std::uint8_t code);
    bool SendDtc(std::uint8_t counts, std::uint8_t mil,
                 const std::array<std::uint16_t, DtcSlots>& ecu1,
                 const std::array<std::uint16_t, DtcSlots>& ecu2);
    // Reports a failure of the line on the status text and returns false,
    // like the other operations; ReadConfig and ClosePort use the raising
    // form underneath, so that they report or ignore it themselves.
    bool SetRemoteMode(bool on);
    void ClosePort();
    // Whether the port is open. A line that has gone (unplugged, or the far
    // end closed) closes it, and it stays closed until the next search.
    bool PortOpen() const { return cPort.Connected(); }
    // True from the moment "!K1" went out until "!K0" went out or the port
    // closed otherwise (a line that has gone): the port's close leaves
    // remote mode first.
    bool RemoteModeOn() const { return remoteMode_; }

    // The line event watcher hands its event sets over from its own thread:
    // post is called there and must arrange for HandleLineEvents to run on
    // the thread that drives the link. Set it before the port opens.
    void SetEventHandOver(std::function<void()> post);
    void HandleLineEvents();

    // Asked before each character of a reply line; true ends the wait as if
    // no reply had come, so that a front end that is asked to end is not held
    // by a reply trickling in for minutes. Boot-loader frames never ask it:
    // a transfer runs to its end. Returns the question asked until now.
    std::function<bool()> SetStopWaiting(std::function<bool()> stopWaiting);

    // Primitives, also used by the firmware update.
    // Opens the named port at 115200 baud; raises what the serial layer raises.
    void OpenPort(const std::string& port);
    void SendText(const std::string& text);
    int ReadByte(int n);   // byte 0..255, or -1 when none came within 3 * n ms
    int ReadLine();        // characters before the carriage return; 0 = no reply
    bool DecodeHexReply(std::span<std::uint8_t> destination, int length);

    TComPort& Port() { return cPort; }
    // The port the link opened last (or tried to).
    const std::string& PortName() const { return cPort.Port(); }
    // What the simulator reported, as the link last read it.
    const SimulatorState& State() const { return state_; }
    // Puts a text on the front end's status text (the use cases' own steps).
    void PanelInfo(const std::string& text) { host_.PanelInfo(text); }
    // Lets the front end process its pending messages (the update's polls and pages).
    void ProcessMessages() { host_.ProcessMessages(); }

    static constexpr int LineBufferSize = 2048;

private:
    void Report(const std::exception& failure, const char* ownText);
    void CloseIfLineGone(const std::exception& failure);
    bool RemoteMode(bool on);       // raises what the line raises
    int ExpectReply();              // ReadLine; no reply raises EFailure()
    void ExpectData(std::span<std::uint8_t> destination);

    ILinkHost& host_;
    SimulatorState& state_;
    const FirmwareImage& image_;

    TComPort cPort;
    std::array<std::uint8_t, LineBufferSize> LineBuffer{};
    std::function<bool()> stopWaiting_;
    bool connectingShown_ = false;  // the status text names the server this open waits for
    bool remoteMode_ = false;
};
