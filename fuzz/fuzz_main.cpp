// The libFuzzer entry of one target; KORVANE_FUZZ_TARGET names it. A violated
// invariant aborts, so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Amsterdam", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kv::fuzz::Target target = kv::fuzz::FindTarget(KORVANE_FUZZ_TARGET);
    const std::string violation = target(data, size);
    if (!violation.empty()) {
        std::fprintf(stderr, "%s: invariant violated: %s\n", KORVANE_FUZZ_TARGET, violation.c_str());
        std::abort();
    }
    return 0;
}
