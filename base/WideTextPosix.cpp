// Elsewhere than on Windows the arguments are the bytes the system handed
// over, which are the file system's own names.
#include "WideText.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}
