// What a serial device server sends on an rfc2217:// connection, through the
// Telnet codec after it has asked for its options. The input comes in pieces
// of sizes taken from its head, the way the network hands them over.
//
// Input: byte 0 holds flags (bit 0: the rest is a script of well-formed
// pieces rather than raw bytes; bit 1: answers are taken after every piece
// rather than once at the end), byte 1 the number n (up to 15) of the
// following bytes that give the piece sizes in turn; the rest is the stream
// (or the script that writes it). With n = 0 the stream comes in one piece.
//
// Raw bytes: whatever arrives, the codec decodes it the same in any pieces,
// answers the server at most once per request it received and only with
// what it does, keeps only answers to its own commands, and once settled
// stays settled.
//
// A script: data and commands interleaved, each written as a server writes
// it (0xFF doubled, CR NUL outside binary mode). The data that comes out is
// exactly the data that went in, every request gets the answer the Telnet
// rules give (RFC 854, 1143: never acknowledge what already holds), every
// answer of the server to a command is kept once, and notices, other
// options' subnegotiations, over-long or broken ones leave nothing behind.
#include "FuzzCheck.h"

#include "serial/Rfc2217Codec.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using State = Rfc2217Codec::OptionState;
using Answers = std::vector<Rfc2217Codec::Answer>;

constexpr std::uint8_t CarriageReturn = 13, Nul = 0;
// The client's commands after the notices: the two masks, then the purge.
constexpr int SetLineStateMask = 10;
// Telnet commands without an argument (NOP, data mark, break, ... go-ahead).
constexpr std::uint8_t FirstPlainCommand = 240, LastPlainCommand = 249;
// The longest COM-PORT answer this client looks at is the baud rate's four
// bytes; answers up to this length are kept whole ...
constexpr std::size_t SurelyKept = 32;
// ... and from this length on a subnegotiation is taken as a flood and not
// kept: a server must not make the client hold what it sends without end.
constexpr std::size_t SurelyDropped = 1024;
// A stream made by a script stays below this, so that one input stays quick.
constexpr std::size_t MaxStream = 1 << 14;

// The options this client carries out, and those it lets the server carry out.
bool WeDo(std::uint8_t option) {
    return option == Telnet::Binary || option == Telnet::SuppressGoAhead || option == Telnet::ComPortOption;
}
bool TheyMay(std::uint8_t option) { return option == Telnet::Binary || option == Telnet::SuppressGoAhead; }

// Answers of the server to commands that a client sends; everything else in
// the COM-PORT option (line and modem state notices, flow control requests)
// the server sends on its own and may send without end.
bool AnswersACommand(std::uint8_t serverCommand) {
    if (serverCommand < ComPort::ServerOffset) return false;
    const int command = serverCommand - ComPort::ServerOffset;
    return command <= ComPort::SetControl || (command >= SetLineStateMask && command <= ComPort::PurgeData);
}

bool SameAnswers(const Answers& a, const Answers& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.Command == y.Command && x.Value == y.Value; });
}

std::string Bytes(std::initializer_list<std::uint8_t> bytes) {
    std::string s;
    for (const std::uint8_t b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

void Append(Answers& to, Answers more) {
    for (auto& a : more) to.push_back(std::move(a));
}

// Reads the input front to back; past the end it gives zeros.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string_view Rest() const {
        return {reinterpret_cast<const char*>(data_ + std::min(at_, size_)), size_ - std::min(at_, size_)};
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Every request this client sends back is a whole three-byte negotiation,
// and says yes only to what this client does.
void CheckReplyForm(std::string_view reply) {
    FUZZ_REQUIRE(reply.size() % 3 == 0);
    for (std::size_t i = 0; i < reply.size(); i += 3) {
        const auto verb = static_cast<std::uint8_t>(reply[i + 1]);
        const auto option = static_cast<std::uint8_t>(reply[i + 2]);
        FUZZ_REQUIRE(static_cast<std::uint8_t>(reply[i]) == Telnet::Iac);
        FUZZ_REQUIRE(verb >= Telnet::Will && verb <= Telnet::Dont);
        if (verb == Telnet::Will) FUZZ_REQUIRE(WeDo(option));
        if (verb == Telnet::Do) FUZZ_REQUIRE(TheyMay(option));
    }
}

void CheckOptionStates(const Rfc2217Codec& codec) {
    for (int option = 0; option < 256; ++option) {
        const auto o = static_cast<std::uint8_t>(option);
        if (codec.Ours(o) == State::On) FUZZ_REQUIRE(WeDo(o));
        if (codec.Theirs(o) == State::On) FUZZ_REQUIRE(TheyMay(o));
    }
}

// What the properties are checked on: the stream in its pieces.
struct Feeding {
    std::vector<std::size_t> Sizes;  // empty: one piece
    bool TakeEachTime = false;
};

struct Outcome {
    std::string Data, Reply;
    Answers Kept;
    Rfc2217Codec Codec;
};

// Feeds the stream to a started codec in the given pieces, checking what
// must hold after each.
Outcome Feed(std::string_view stream, const Feeding& how) {
    Outcome out;
    (void)out.Codec.Start();
    bool settled = out.Codec.Settled();
    std::size_t at = 0, turn = 0;
    while (at < stream.size()) {
        std::size_t n = stream.size() - at;
        if (!how.Sizes.empty()) n = std::min(n, how.Sizes[turn++ % how.Sizes.size()]);
        out.Codec.Decode(stream.substr(at, n), out.Data, out.Reply);
        at += n;
        // Once the server has settled the options, nothing unsettles them.
        if (settled) FUZZ_REQUIRE(out.Codec.Settled());
        settled = out.Codec.Settled();
        // A flood of requests gets at most a request's worth of replies,
        // and data never grows out of nothing.
        FUZZ_REQUIRE(out.Reply.size() <= at);
        FUZZ_REQUIRE(out.Data.size() <= at);
        if (how.TakeEachTime) Append(out.Kept, out.Codec.TakeAnswers());
    }
    Append(out.Kept, out.Codec.TakeAnswers());
    FUZZ_REQUIRE(out.Codec.TakeAnswers().empty());
    // The smallest subnegotiation (IAC SB option command IAC SE) has six bytes.
    FUZZ_REQUIRE(out.Kept.size() * 6 <= stream.size());
    for (const auto& answer : out.Kept) {
        FUZZ_REQUIRE(AnswersACommand(static_cast<std::uint8_t>(answer.Command + ComPort::ServerOffset)));
        FUZZ_REQUIRE(answer.Value.size() < SurelyDropped);
    }
    CheckReplyForm(out.Reply);
    CheckOptionStates(out.Codec);
    return out;
}

// The same stream in pieces and in one: the pieces the network makes change nothing.
void CheckPiecesChangeNothing(std::string_view stream, const Feeding& how, const Outcome& pieces) {
    const Outcome whole = Feed(stream, Feeding{});
    FUZZ_REQUIRE(pieces.Data == whole.Data);
    FUZZ_REQUIRE(pieces.Reply == whole.Reply);
    FUZZ_REQUIRE(SameAnswers(pieces.Kept, whole.Kept));
    FUZZ_REQUIRE(pieces.Codec.Settled() == whole.Codec.Settled());
    for (int option = 0; option < 256; ++option) {
        const auto o = static_cast<std::uint8_t>(option);
        FUZZ_REQUIRE(pieces.Codec.Ours(o) == whole.Codec.Ours(o));
        FUZZ_REQUIRE(pieces.Codec.Theirs(o) == whole.Codec.Theirs(o));
    }
}

// Where each option stands by the Telnet rules, for the script's expectations.
struct Negotiation {
    std::array<bool, 256> OursOn{}, TheirsOn{}, OursAsked{}, TheirsAsked{};

    Negotiation() {
        OursAsked[Telnet::Binary] = OursAsked[Telnet::ComPortOption] = TheirsAsked[Telnet::Binary] = true;
    }
    bool Settled() const {
        return !OursAsked[Telnet::Binary] && !OursAsked[Telnet::ComPortOption] && !TheirsAsked[Telnet::Binary];
    }

    // The reply this client owes to the server's request.
    std::string Request(std::uint8_t verb, std::uint8_t option) {
        const bool theirs = verb == Telnet::Will || verb == Telnet::Wont;
        const bool positive = verb == Telnet::Will || verb == Telnet::Do;
        bool& on = theirs ? TheirsOn[option] : OursOn[option];
        bool& asked = theirs ? TheirsAsked[option] : OursAsked[option];
        const bool wasAsked = std::exchange(asked, false);
        const std::uint8_t yes = theirs ? Telnet::Do : Telnet::Will;
        const std::uint8_t no = theirs ? Telnet::Dont : Telnet::Wont;
        if (positive) {
            if (on) return {};  // already so: an acknowledgement would loop
            if (wasAsked) {     // the answer to our own request
                on = true;
                return {};
            }
            on = theirs ? TheyMay(option) : WeDo(option);
            return Bytes({Telnet::Iac, on ? yes : no, option});
        }
        if (!on) return {};
        on = false;
        return Bytes({Telnet::Iac, no, option});
    }
};

// One piece of the scripted stream and what it must do.
struct Piece {
    std::string Wire;
    std::string Data;
    std::string Reply;
    enum class Kept { None, Exactly, Maybe } Keeps = Kept::None;
    Rfc2217Codec::Answer Answer;
    std::optional<std::uint8_t> Negotiated;  // the option a request in it is about
};

void CheckAgrees(const Rfc2217Codec& codec, const Negotiation& rules, std::uint8_t option) {
    FUZZ_REQUIRE((codec.Ours(option) == State::On) == rules.OursOn[option]);
    FUZZ_REQUIRE((codec.Theirs(option) == State::On) == rules.TheirsOn[option]);
}

std::string Escaped(std::string_view value) {
    std::string out;
    for (const char c : value) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == Telnet::Iac) out.push_back(c);
    }
    return out;
}

// A subnegotiation's body; long ones repeat their first bytes.
std::string Body(Reader& in) {
    const std::uint8_t b = in.Byte();
    const std::size_t length = b < 128 ? b % (SurelyKept + 1) : std::size_t(b - 128) * 16;
    std::string body;
    for (std::size_t i = 0; i < length; ++i)
        body.push_back(i < SurelyKept ? static_cast<char>(in.Byte()) : body[i % SurelyKept]);
    return body;
}

std::uint8_t SomeOption(Reader& in) {
    static constexpr std::uint8_t Interesting[] = {Telnet::Binary, 1, Telnet::SuppressGoAhead, 24, 31,
                                                   Telnet::ComPortOption, Telnet::Iac};
    const std::uint8_t b = in.Byte();
    return b < 128 ? Interesting[b % std::size(Interesting)] : in.Byte();
}

// Writes the script's stream piece by piece and checks each piece on a codec
// that gets it whole; returns the stream and what all of it must give.
struct Script {
    std::string Stream, Data, Reply;
};

Script RunScript(Reader& in) {
    Script script;
    Rfc2217Codec codec;
    (void)codec.Start();
    Negotiation rules;
    bool open = true;  // false once the stream ends inside a subnegotiation
    while (!in.AtEnd() && open && script.Stream.size() < MaxStream) {
        Piece piece;
        const std::uint8_t op = in.Byte();
        switch (op % 8) {
        case 0: {  // data, written as the server's side of the option says
            const bool binary = rules.TheirsOn[Telnet::Binary];
            const std::size_t n = in.Byte() % 48;
            for (std::size_t i = 0; i < n && !in.AtEnd(); ++i) {
                const auto c = static_cast<char>(in.Byte());
                piece.Data.push_back(c);
                piece.Wire += Escaped(std::string(1, c));
                if (static_cast<std::uint8_t>(c) == CarriageReturn && !binary) piece.Wire.push_back(char(Nul));
            }
            break;
        }
        case 1:
        case 2: {  // a request
            const auto verb = static_cast<std::uint8_t>(Telnet::Will + in.Byte() % 4);
            const std::uint8_t option = SomeOption(in);
            piece.Wire = Bytes({Telnet::Iac, verb, option});
            piece.Reply = rules.Request(verb, option);
            piece.Negotiated = option;
            break;
        }
        case 3: {  // a COM-PORT subnegotiation: an answer, a notice or something unknown
            const auto command = static_cast<std::uint8_t>(in.Byte() % 2 ? ComPort::ServerOffset + in.Byte() % 16
                                                                         : in.Byte());
            const std::string body = Body(in);
            piece.Wire = Bytes({Telnet::Iac, Telnet::Sb, Telnet::ComPortOption}) +
                         Escaped(std::string(1, static_cast<char>(command)) + body) + Bytes({Telnet::Iac, Telnet::Se});
            if (AnswersACommand(command) && body.size() < SurelyDropped) {
                piece.Keeps = body.size() <= SurelyKept ? Piece::Kept::Exactly : Piece::Kept::Maybe;
                piece.Answer = {static_cast<std::uint8_t>(command - ComPort::ServerOffset), body};
            }
            break;
        }
        case 4: {  // another option's subnegotiation
            std::uint8_t option = SomeOption(in);
            if (option == Telnet::ComPortOption) option = 24;
            piece.Wire = Bytes({Telnet::Iac, Telnet::Sb}) + Escaped(std::string(1, char(option)) + Body(in)) +
                         Bytes({Telnet::Iac, Telnet::Se});
            break;
        }
        case 5:  // a command without argument
            piece.Wire = Bytes({Telnet::Iac, static_cast<std::uint8_t>(
                                                 FirstPlainCommand + in.Byte() % (LastPlainCommand - FirstPlainCommand + 1))});
            break;
        case 6: {  // a subnegotiation broken off by a request: the request still counts
            const auto command = static_cast<std::uint8_t>(ComPort::ServerOffset + in.Byte() % 16);
            const auto verb = static_cast<std::uint8_t>(Telnet::Will + in.Byte() % 4);
            const std::uint8_t option = SomeOption(in);
            piece.Wire = Bytes({Telnet::Iac, Telnet::Sb, Telnet::ComPortOption, command}) + Escaped(Body(in)) +
                         Bytes({Telnet::Iac, verb, option});
            piece.Reply = rules.Request(verb, option);
            piece.Negotiated = option;
            break;
        }
        case 7:  // a subnegotiation that never ends: nothing after it counts
            piece.Wire = Bytes({Telnet::Iac, Telnet::Sb, Telnet::ComPortOption,
                                static_cast<std::uint8_t>(ComPort::ServerOffset + in.Byte() % 16)}) +
                         Escaped(Body(in));
            piece.Wire += Escaped(in.Rest());
            open = false;
            break;
        }
        std::string data, reply;
        codec.Decode(piece.Wire, data, reply);
        FUZZ_REQUIRE(data == piece.Data);
        FUZZ_REQUIRE(reply == piece.Reply);
        const Answers kept = codec.TakeAnswers();
        if (piece.Keeps == Piece::Kept::None) {
            FUZZ_REQUIRE(kept.empty());
        } else {
            FUZZ_REQUIRE(kept.size() <= 1);
            if (piece.Keeps == Piece::Kept::Exactly) FUZZ_REQUIRE(kept.size() == 1);
            if (!kept.empty()) FUZZ_REQUIRE(SameAnswers(kept, {piece.Answer}));
        }
        FUZZ_REQUIRE(codec.Settled() == rules.Settled());
        if (piece.Negotiated) CheckAgrees(codec, rules, *piece.Negotiated);
        script.Stream += piece.Wire;
        script.Data += piece.Data;
        script.Reply += piece.Reply;
    }
    for (int option = 0; option < 256; ++option) CheckAgrees(codec, rules, static_cast<std::uint8_t>(option));
    return script;
}

}  // namespace

namespace FuzzCheck {

void Rfc2217Stream(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint8_t flags = in.Byte();
    Feeding how;
    how.TakeEachTime = (flags & 2) != 0;
    const std::size_t sizes = in.Byte() % 16;
    for (std::size_t i = 0; i < sizes; ++i) {
        const std::uint8_t s = in.Byte();
        // Mostly small pieces, so that commands and escapes fall apart; some large.
        how.Sizes.push_back(s < 0xC0 ? 1 + s % 16 : 1 + std::size_t(s - 0xC0) * 64);
    }
    if (flags & 1) {
        const Script script = RunScript(in);
        const Outcome pieces = Feed(script.Stream, how);
        FUZZ_REQUIRE(pieces.Data == script.Data);
        FUZZ_REQUIRE(pieces.Reply == script.Reply);
        CheckPiecesChangeNothing(script.Stream, how, pieces);
    } else {
        const std::string_view stream = in.Rest();
        CheckPiecesChangeNothing(stream, how, Feed(stream, how));
    }
}

}  // namespace FuzzCheck
