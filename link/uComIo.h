#pragma once
// The link: the only part of the tool that talks to the simulator. It owns the
// serial port, speaks the firmware's command protocol and the boot loader's
// frame protocol, decodes replies into SimulatorState and reports through
// ILinkHost. No widgets: the window and the command line drive the same code.

#include "FirmwareImage.h"
#include "LinkHost.h"
#include "SchedulerState.h"
#include "SimulatorState.h"

#include "serial/ComPort.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

class TComIo {
public:
    TComIo(ILinkHost& host, SimulatorState& state, const FirmwareImage& image);
    ~TComIo();

    // Operations. None lets a failure escape: each shows its failure on the
    // status text and returns its failure result.
    // Opens the named port (a name such as "ttyUSB0" or a path) and asks
    // for the simulator's identity: Search, Stopped, ReadConfiguration or AutoUpdate.
    SchedulerState FindSimulator(const std::string& port);
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
    // True from the moment "!K1" went out until "!K0" went out: the port's
    // close leaves remote mode first.
    bool RemoteModeOn() const { return remoteMode_; }
    // Only for checks of the close path: puts the flag as a lost reply or a
    // vanished line would leave it, without a word on the line.
    void SetRemoteModeFlag(bool on) { remoteMode_ = on; }

    // The line event watcher hands its event sets over from its own thread:
    // post is called there and must arrange for HandleLineEvents to run on
    // the thread that drives the link. Set it before the port opens.
    void SetEventHandOver(std::function<void()> post);
    void HandleLineEvents();

    // Identification attempts left; 2 before every new search, 30 after an update.
    int SearchAttempts = 2;

    // Firmware update, driven by a 100 ms timer of the view.
    // UpdateBegin prepares for AutoUpdate or ForcedUpdate on the named port
    // (the window's show handler); UpdateStep runs one timer step and returns nullopt to be
    // called again 100 ms later, or the state to hand to the scheduler as the
    // window closes (Search, Stopped or UpdateFailed). UpdateAbort is CANCEL.
    void UpdateBegin(SchedulerState state, IUpdateView& view, const std::string& port);
    [[nodiscard]] std::optional<SchedulerState> UpdateStep();
    void UpdateAbort();
    std::uint8_t UpdatePhase = 0;  // 0 start boot loader, 1 wait for it, 2 cancelled
    std::int32_t PollsLeft = 0;
    static constexpr std::int32_t BootLoaderPolls = 20;
    static constexpr int SearchAttemptsAfterUpdate = 30;
    // Why the last update ended in UpdateFailed, for front ends that say
    // more than the window's message box does; empty otherwise.
    const std::string& UpdateFailureText() const { return updateFailure_; }

    // Primitives, also used by the update.
    void SendText(const std::string& text);
    int ReadByte(int n);   // byte 0..255, or -1 when none came within 3 * n ms
    int ReadLine();        // characters before the carriage return; 0 = no reply
    bool DecodeHexReply(std::span<std::uint8_t> destination, int length);
    // Sends code, length, the first length bytes of payload and the checksum;
    // raises EFailure for a length beyond 128 or beyond the payload given.
    void SendFrame(int length, std::uint8_t code, std::span<const std::uint8_t> payload);
    int ReadFrame();       // reply code, or -1 on time-out, overlength or bad checksum

    TComPort& Port() { return cPort; }
    // The port the link opened last (or tried to).
    const std::string& PortName() const { return cPort.Port(); }
    // What the simulator reported, as the link last read it.
    const SimulatorState& State() const { return state_; }
    // Puts a text on the front end's status text (the use cases' own steps).
    void PanelInfo(const std::string& text) { host_.PanelInfo(text); }

    // Asked before each character of a reply line; true ends the wait as if
    // no reply had come, so that a front end that is asked to end is not held
    // by a reply trickling in for minutes. Boot-loader frames never ask it:
    // a transfer runs to its end.
    std::function<bool()> StopWaiting;

    static constexpr int LineBufferSize = 2048;
    static constexpr int FrameBufferSize = 132;

private:
    void OpenPort(const std::string& port);
    void Report(const std::exception& failure, const char* ownText);
    void CloseIfLineGone(const std::exception& failure);
    bool RemoteMode(bool on);       // raises what the line raises
    int ExpectReply();              // ReadLine; no reply raises EFailure()
    void ExpectData(std::span<std::uint8_t> destination);
    void SendBytes(std::span<const std::uint8_t> bytes);
    void AwaitAcknowledgement(const char* what, int page);
    void AwaitFrameUnderWay(std::size_t frameSize, std::chrono::steady_clock::time_point writeBegan);
    void ShowLayout(bool resetPrompt);
    void Transfer();

    ILinkHost& host_;
    SimulatorState& state_;
    const FirmwareImage& image_;
    IUpdateView* view_ = nullptr;
    SchedulerState updateKind_ = SchedulerState::AutoUpdate;

    TComPort cPort;
    std::array<std::uint8_t, LineBufferSize> LineBuffer{};
    std::array<std::uint8_t, FrameBufferSize> FrameBuffer{};
    std::string updateFailure_;
    bool remoteMode_ = false;
    std::string updatePort_;
};
