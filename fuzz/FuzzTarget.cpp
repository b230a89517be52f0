// One libFuzzer program per check; the build names the check.
#include "FuzzCheck.h"

#ifndef KNS_FUZZ_CHECK
#error "KNS_FUZZ_CHECK names the check this program runs"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzCheck::KNS_FUZZ_CHECK(data, size);
    return 0;
}
