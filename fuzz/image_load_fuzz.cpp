// Fuzz target: image_load as a whole on a file holding the input, with both
// decoders registered, then the accessors and image_free.
#include "runtime/image/image.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

std::u16string file_name; // this process's input file, as a WideString
std::string file_path;

void start() {
    image_decoders_init();
    bmp_decoder_register();
    png_decoder_register();
    image_table_init();
    file_path = "/tmp/tda-fuzz-image-" + std::to_string(getpid()) + ".img";
    for (char c : file_path)
        file_name.push_back(static_cast<char16_t>(c));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool started = false;
    if (!started) {
        start();
        started = true;
    }
    std::FILE* file = std::fopen(file_path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    ObjectId id = image_load(AUTO_NUMBER, file_name.c_str());
    if (id != 0) {
        GdkPixbuf* pixels = image_handle(id);
        if (pixels == nullptr || image_width(id) != gdk_pixbuf_get_width(pixels) ||
            image_height(id) != gdk_pixbuf_get_height(pixels))
            __builtin_trap();
        image_free(id);
    }
    ObjectId handle = image_load(1, file_name.c_str());
    if (handle != 0 && reinterpret_cast<GdkPixbuf*>(handle) != image_handle(1)) __builtin_trap();
    image_free(1);
    std::remove(file_path.c_str());
    return 0;
}
