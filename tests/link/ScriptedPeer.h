#pragma once
// A scripted stand-in for the simulator on a line in memory
// (base/MemoryLine.h), on every system alike. The tool opens Path(), a
// "memory:" port name; a thread on the line's device end splits what arrives
// into units (a command line without its carriage return; in boot-loader
// mode a single poll byte or a whole frame), records them byte for byte and
// writes back whatever the script answers.

#include "base/MemoryLine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedPeer {
public:
    // Called on the peer's thread for every unit; returns the bytes to send
    // back (empty: stay silent).
    using Responder = std::function<std::string(ScriptedPeer& peer, const std::string& unit)>;

    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& Path() const { return path_; }

    // Fixed answers to command lines (without "\r"); a command without an
    // entry gets no answer. Used while no responder is set.
    void SetReply(const std::string& command, const std::string& reply);
    void SetResponder(Responder responder);

    // Boot-loader mode: units are poll bytes and frames instead of lines.
    void SetBootMode(bool on) { boot_ = on; }
    bool BootMode() const { return boot_; }

    std::vector<std::string> Units() const;
    std::size_t UnitCount() const;
    // Waits until at least count units have arrived; false on time-out.
    bool WaitForUnits(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

private:
    void Run();
    void Feed(char c);
    void Complete();
    void Write(const std::string& bytes);

    const std::string name_;
    const std::string path_;
    const std::shared_ptr<MemoryLine> line_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> boot_{false};
    std::string pending_;  // the unit being received, peer thread only

    mutable std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    Responder responder_;
    std::vector<std::string> units_;

    std::thread thread_;
};

// Boot-loader frame helpers for scripts: an acknowledgement with the given
// code and payload whose bytes add up to 0, and the payload of a received frame.
std::string AckFrame(std::uint8_t code = 0x01, const std::string& payload = {});
bool FrameSumsToZero(const std::string& frame);
