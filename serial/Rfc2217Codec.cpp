#include "Rfc2217Codec.h"

namespace {

using State = Rfc2217Codec::OptionState;

// Options we carry out ourselves when asked, and options we let the server
// carry out. Suppressing go-ahead costs nothing; echo is left off.
bool WeAccept(std::uint8_t option) {
    return option == Telnet::Binary || option == Telnet::SuppressGoAhead || option == Telnet::ComPortOption;
}
bool TheyMay(std::uint8_t option) { return option == Telnet::Binary || option == Telnet::SuppressGoAhead; }

void Put(std::string& out, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    out.push_back(static_cast<char>(a));
    out.push_back(static_cast<char>(b));
    out.push_back(static_cast<char>(c));
}

constexpr std::uint8_t CarriageReturn = 13, Nul = 0;

// The COM-PORT messages a server sends on its own, as often as it likes:
// line and modem state notices and flow control requests. They answer
// nothing this client asked.
constexpr int NotifyLineState = 6, FlowControlResume = 9;

bool AnswersACommand(std::uint8_t serverCommand) {
    if (serverCommand < ComPort::ServerOffset) return false;
    const int command = serverCommand - ComPort::ServerOffset;
    return command <= ComPort::PurgeData && (command < NotifyLineState || command > FlowControlResume);
}

// Option, command and value. No answer this client looks at is longer than
// a few bytes; a subnegotiation is held no further than this, so that a
// server that never ends one (or raw data taken for Telnet) cannot make the
// client hold all it sends. A longer one is dropped when it ends.
constexpr std::size_t MaxSubnegotiation = 64;

}  // namespace

std::string Rfc2217Codec::Start() {
    std::string out;
    ours_[Telnet::Binary] = State::Asked;
    Put(out, Telnet::Iac, Telnet::Will, Telnet::Binary);
    theirs_[Telnet::Binary] = State::Asked;
    Put(out, Telnet::Iac, Telnet::Do, Telnet::Binary);
    ours_[Telnet::ComPortOption] = State::Asked;
    Put(out, Telnet::Iac, Telnet::Will, Telnet::ComPortOption);
    return out;
}

bool Rfc2217Codec::Settled() const {
    return ours_[Telnet::Binary] != State::Asked && theirs_[Telnet::Binary] != State::Asked &&
           ours_[Telnet::ComPortOption] != State::Asked;
}

std::string Rfc2217Codec::EncodeData(std::string_view data) const {
    const bool binary = ours_[Telnet::Binary] == State::On;
    std::string out;
    out.reserve(data.size() + 8);
    for (const char c : data) {
        const auto b = static_cast<std::uint8_t>(c);
        out.push_back(c);
        if (b == Telnet::Iac) out.push_back(c);
        // Outside binary mode a bare carriage return is not allowed on the wire.
        if (b == CarriageReturn && !binary) out.push_back(static_cast<char>(Nul));
    }
    return out;
}

std::string Rfc2217Codec::Command(std::uint8_t command, std::string_view value) {
    std::string out;
    Put(out, Telnet::Iac, Telnet::Sb, Telnet::ComPortOption);
    out.push_back(static_cast<char>(command));
    for (const char c : value) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == Telnet::Iac) out.push_back(c);
    }
    out.push_back(static_cast<char>(Telnet::Iac));
    out.push_back(static_cast<char>(Telnet::Se));
    return out;
}

std::string Rfc2217Codec::Command(std::uint8_t command, std::uint8_t value) {
    return Command(command, std::string_view(reinterpret_cast<const char*>(&value), 1));
}

std::string Rfc2217Codec::BaudRateValue(std::uint32_t rate) {
    std::string v(4, '\0');
    for (int i = 0; i < 4; ++i) v[static_cast<std::size_t>(i)] = static_cast<char>((rate >> (24 - 8 * i)) & 0xFF);
    return v;
}

std::vector<Rfc2217Codec::Answer> Rfc2217Codec::TakeAnswers() {
    std::vector<Answer> taken;
    taken.swap(answers_);
    return taken;
}

void Rfc2217Codec::Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    // Each side answers a request only when it changes where the option
    // stands, and never answers an answer: no negotiation can loop.
    switch (verb) {
    case Telnet::Will: {
        State& s = theirs_[option];
        if (s == State::Asked) {
            s = State::On;
        } else if (s != State::On) {
            const bool take = TheyMay(option);
            s = take ? State::On : State::Off;
            Put(reply, Telnet::Iac, take ? Telnet::Do : Telnet::Dont, option);
        }
        break;
    }
    case Telnet::Wont: {
        State& s = theirs_[option];
        if (s == State::On) Put(reply, Telnet::Iac, Telnet::Dont, option);
        s = s == State::Asked ? State::Refused : State::Off;
        break;
    }
    case Telnet::Do: {
        State& s = ours_[option];
        if (s == State::Asked) {
            s = State::On;
        } else if (s != State::On) {
            const bool take = WeAccept(option);
            s = take ? State::On : State::Off;
            Put(reply, Telnet::Iac, take ? Telnet::Will : Telnet::Wont, option);
        }
        break;
    }
    case Telnet::Dont: {
        State& s = ours_[option];
        if (s == State::On) Put(reply, Telnet::Iac, Telnet::Wont, option);
        s = s == State::Asked ? State::Refused : State::Off;
        break;
    }
    default:
        break;
    }
}

void Rfc2217Codec::EndSubnegotiation() {
    // Only the COM-PORT option's answers matter; notices of line and modem
    // state (and everything else) are taken and dropped: kept, a server that
    // sends them without end would make the answers grow without end.
    if (sub_.size() >= 2 && sub_.size() <= MaxSubnegotiation &&
        static_cast<std::uint8_t>(sub_[0]) == Telnet::ComPortOption) {
        const auto command = static_cast<std::uint8_t>(sub_[1]);
        if (AnswersACommand(command))
            answers_.push_back({static_cast<std::uint8_t>(command - ComPort::ServerOffset), sub_.substr(2)});
    }
    sub_.clear();
}

void Rfc2217Codec::Decode(std::string_view received, std::string& data, std::string& reply) {
    // The byte after an IAC, in the data or inside a subnegotiation.
    const auto command = [&](std::uint8_t b) {
        if (b == Telnet::Iac) {
            data.push_back(static_cast<char>(b));  // an escaped 0xFF
            stage_ = Stage::Data;
        } else if (b >= Telnet::Will) {
            verb_ = b;
            stage_ = Stage::Option;
        } else if (b == Telnet::Sb) {
            sub_.clear();
            stage_ = Stage::Sub;
        } else {
            stage_ = Stage::Data;  // NOP, go-ahead and the like carry nothing for us
        }
    };
    for (const char c : received) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (stage_) {
        case Stage::CarriageReturn:
            stage_ = Stage::Data;
            // Outside binary mode a carriage return comes as CR NUL; the NUL is not data.
            if (b == Nul) break;
            [[fallthrough]];
        case Stage::Data:
            if (b == Telnet::Iac) {
                stage_ = Stage::Iac;
            } else {
                data.push_back(c);
                if (b == CarriageReturn && theirs_[Telnet::Binary] != State::On) stage_ = Stage::CarriageReturn;
            }
            break;
        case Stage::Iac:
            command(b);
            break;
        case Stage::Option:
            Negotiate(verb_, b, reply);
            stage_ = Stage::Data;
            break;
        case Stage::Sub:
            if (b == Telnet::Iac)
                stage_ = Stage::SubIac;
            else if (sub_.size() <= MaxSubnegotiation)
                sub_.push_back(c);
            break;
        case Stage::SubIac:
            if (b == Telnet::Iac) {
                if (sub_.size() <= MaxSubnegotiation) sub_.push_back(c);
                stage_ = Stage::Sub;
            } else if (b == Telnet::Se) {
                EndSubnegotiation();
                stage_ = Stage::Data;
            } else {
                // Any other command ends it too, as a broken one: what it
                // held is no answer, and the command counts as such (a
                // request's option byte must not slip into the data).
                sub_.clear();
                command(b);
            }
            break;
        }
    }
}
