// Fuzz target: the PNG decoder's check, decode and cleanup over libpng.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::run_decoder(IMAGE_FORMAT_PNG, data, size);
    return 0;
}
