// What a broken property does; apart from the table of checks, so that a
// program that runs one check links that check alone.
#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace FuzzCheck {

namespace {
FailureHandler& Handler() {
    static FailureHandler handler;
    return handler;
}
}  // namespace

FailureHandler SetFailureHandler(FailureHandler handler) { return std::exchange(Handler(), std::move(handler)); }

void Fail(const char* file, int line, const std::string& what) {
    const std::string message = std::string(file) + ":" + std::to_string(line) + ": property broken: " + what;
    if (Handler()) Handler()(message);
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace FuzzCheck
