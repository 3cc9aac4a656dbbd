// libFuzzer target: the HTTP client's own parsing (response headers and body, URLs) and the
// port field's conversion, over arbitrary bytes.
#include "tests/fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzHttp(data, size);
    return 0;
}
