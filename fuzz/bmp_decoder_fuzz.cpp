// Fuzz target: the BMP decoder's check, decode (both row orders) and cleanup.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::run_decoder(IMAGE_FORMAT_BMP, data, size);
    return 0;
}
