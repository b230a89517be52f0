#pragma once
// The bytes of a Telnet connection that carries a serial line with the
// COM-PORT option (the protocol of serial device servers such as ser2net's
// "telnet(rfc2217)" accepter): escaping of 0xFF, option negotiation and the
// option's subnegotiations. Pure byte handling, no sockets, so that every
// rule can be checked with rows of bytes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Telnet {
constexpr std::uint8_t Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250, Se = 240;
constexpr std::uint8_t Binary = 0, SuppressGoAhead = 3, ComPortOption = 44;
}  // namespace Telnet

// Client-to-server commands of the COM-PORT option; the server answers each
// with the same number plus ServerOffset.
namespace ComPort {
constexpr std::uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
                       PurgeData = 12;
constexpr std::uint8_t ServerOffset = 100;
constexpr std::uint8_t ParityNone = 1, ParityOdd = 2, ParityEven = 3, ParityMark = 4, ParitySpace = 5;
constexpr std::uint8_t StopOne = 1, StopTwo = 2, StopOneAndHalf = 3;
constexpr std::uint8_t NoFlowControl = 1, DtrOn = 8, DtrOff = 9, RtsOn = 11, RtsOff = 12;
constexpr std::uint8_t PurgeReceive = 1, PurgeTransmit = 2, PurgeBoth = 3;
}  // namespace ComPort

class Rfc2217Codec {
public:
    // Where one option stands, for one side of the connection.
    enum class OptionState : std::uint8_t { Off, Asked, On, Refused };

    // The requests that open the connection: binary transmission both ways
    // and the COM-PORT option on our side.
    [[nodiscard]] std::string Start();

    // Data for the serial line as it goes on the wire: 0xFF doubled; while
    // our side does not send in binary, a carriage return is followed by NUL.
    [[nodiscard]] std::string EncodeData(std::string_view data) const;

    // One COM-PORT subnegotiation with the value's bytes escaped.
    [[nodiscard]] static std::string Command(std::uint8_t command, std::string_view value);
    [[nodiscard]] static std::string Command(std::uint8_t command, std::uint8_t value);
    [[nodiscard]] static std::string BaudRateValue(std::uint32_t rate);  // four bytes, high first

    // Takes bytes as they came from the server, in any pieces: the serial
    // line's data is appended to data, what must be sent back (answers to
    // the server's option requests) to reply. Answers of the server to
    // COM-PORT commands are kept for TakeAnswers.
    void Decode(std::string_view received, std::string& data, std::string& reply);

    struct Answer {
        std::uint8_t Command = 0;  // the client's number (the server's minus ServerOffset)
        std::string Value;
    };
    [[nodiscard]] std::vector<Answer> TakeAnswers();

    OptionState Ours(std::uint8_t option) const { return ours_[option]; }
    OptionState Theirs(std::uint8_t option) const { return theirs_[option]; }
    // The server has taken or refused everything Start asked for.
    bool Settled() const;

private:
    enum class Stage : std::uint8_t { Data, Iac, Option, Sub, SubIac, CarriageReturn };
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void EndSubnegotiation();

    std::array<OptionState, 256> ours_{};    // what we do (their DO / DONT)
    std::array<OptionState, 256> theirs_{};  // what the server does (its WILL / WONT)
    Stage stage_ = Stage::Data;
    std::uint8_t verb_ = 0;
    std::string sub_;
    std::vector<Answer> answers_;
};
