#pragma once
// Properties checked on arbitrary input: the readers of everything that comes
// from outside the program (configuration and settings files, reply lines,
// boot-loader frames) and the port ordering. The libFuzzer programs call one
// check per input; the corpus replay test calls them on the stored inputs.
// A check that finds a broken property reports it and does not return.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace FuzzCheck {

using Check = void (*)(const std::uint8_t* data, std::size_t size);

// A configuration document: parse, save, parse again; what was saved reads
// back as the same document and the same set-up.
void ConfigDocument(const std::uint8_t* data, std::size_t size);
// A settings file: read, look values up, write one, read it again.
void IniFile(const std::uint8_t* data, std::size_t size);
// A status reply line.
void StatusLine(const std::uint8_t* data, std::size_t size);
// A data reply ("#" and hexadecimal pairs) into a block of the first byte's size.
void HexReply(const std::uint8_t* data, std::size_t size);
// A boot-loader reply frame, arriving on a pseudo-terminal.
void BootFrame(const std::uint8_t* data, std::size_t size);
// Three port names: the ordering is a consistent ranking.
void NaturalCompare(const std::uint8_t* data, std::size_t size);

// A trouble-code list as --ecu1 and --ecu2 take it.
void CodeList(const std::uint8_t* data, std::size_t size);
// A port or serial-number list as --port and --serial take it.
void NameList(const std::uint8_t* data, std::size_t size);
// A test plan (TOML): a usable plan, or a refusal that says where.
void TestPlan(const std::uint8_t* data, std::size_t size);
// Bytes a scan tool sends to the emulator's adapter (the first sets the bus).
void ElmAdapter(const std::uint8_t* data, std::size_t size);

// What a serial device server sends on a Telnet (RFC 2217) connection, in
// pieces; the head of the input says how (see CheckRfc2217Stream.cpp).
void Rfc2217Stream(const std::uint8_t* data, std::size_t size);
// A port name that may be a server's address (rfc2217://, tcp://).
void NetworkPortName(const std::uint8_t* data, std::size_t size);

// The checks by the names of their corpus folders; nullptr for an unknown
// name (on Windows "boot_frame" and "elm_adapter", which are not built there).
Check ByName(const std::string& name);

// What happens to a broken property: by default the message goes to standard
// error and the process aborts (so that the fuzzer keeps the input); a test
// may install a handler that throws instead.
using FailureHandler = std::function<void(const std::string& message)>;
FailureHandler SetFailureHandler(FailureHandler handler);
[[noreturn]] void Fail(const char* file, int line, const std::string& what);

}  // namespace FuzzCheck

#define FUZZ_REQUIRE(condition)                                                     \
    do {                                                                            \
        if (!(condition)) ::FuzzCheck::Fail(__FILE__, __LINE__, #condition);        \
    } while (0)
