// image_load against gdk_pixbuf_new_from_file on the same 4000 x 3000 files:
// BMP (24-bit, 8-bit palette, 4-bit palette, RLE8) and PNG (RGB, RGBA,
// interlaced RGB). The files are generated here into a temporary directory
// (PNGs with libpng's writer) and removed at the end. Both sides read the
// file, decode it and free the pixel buffer again.
#include "bench_support.h"

#include "runtime/core/linked_list.h"
#include "runtime/core/wide_string.h"
#include "runtime/image/image.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int WIDTH = 4000;
constexpr int HEIGHT = 3000;
constexpr double BMP_TARGET = 1.5;
constexpr double PNG_TARGET = 1.0;

std::string directory;            // the temporary directory
std::vector<std::string> created; // files to remove at the end

std::uint32_t noise(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// A photo-like RGB test picture: smooth gradients with texture and a little
// noise, so that PNG compression does realistic work.
void true_colour(int x, int y, std::uint8_t* rgb) {
    std::uint32_t n = noise(x, y) & 7;
    rgb[0] = static_cast<std::uint8_t>((x * 255 / WIDTH + n) & 0xFF);
    rgb[1] = static_cast<std::uint8_t>((y * 255 / HEIGHT + ((x / 40) & 15)) & 0xFF);
    rgb[2] = static_cast<std::uint8_t>((((x + y) / 16) ^ (x / 97)) + n);
}

// Palette index pictures: runs of equal indices, so that RLE8 has runs.
std::uint8_t index8(int x, int y) {
    std::uint32_t n = noise(x / 12, y);
    return static_cast<std::uint8_t>((x / 12 + y / 9 + ((n & 0x3F) == 0 ? n >> 8 : 0)) & 0xFF);
}
std::uint8_t index4(int x, int y) {
    return static_cast<std::uint8_t>(((x / 16) ^ (y / 16) ^ (noise(x / 4, y) & 1)) & 15);
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// File header, BITMAPINFOHEADER and palette; the pixel data follows.
std::vector<std::uint8_t> bmp_header(int bits, int compression, int colours, std::uint32_t data_size) {
    std::vector<std::uint8_t> out;
    std::uint32_t offset = 14 + 40 + 4 * colours;
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + data_size);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, WIDTH);
    put32(out, HEIGHT); // bottom-up
    put16(out, 1);
    put16(out, bits);
    put32(out, compression);
    put32(out, data_size);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, colours);
    put32(out, 0);
    for (int i = 0; i < colours; ++i) {
        int v = colours == 16 ? i * 17 : i;
        out.push_back(static_cast<std::uint8_t>(255 - v));        // blue
        out.push_back(static_cast<std::uint8_t>((v * 7) & 0xFF)); // green
        out.push_back(static_cast<std::uint8_t>(v));              // red
        out.push_back(0);
    }
    return out;
}

std::string write_file(const char* name, const std::vector<std::uint8_t>& bytes) {
    std::string path = directory + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(2);
    }
    std::fclose(file);
    created.push_back(path);
    return path;
}

std::string make_bmp24() {
    int stride = (WIDTH * 3 + 3) & ~3;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stride) * HEIGHT, 0);
    for (int row = 0; row < HEIGHT; ++row) {
        int y = HEIGHT - 1 - row;
        std::uint8_t* p = &data[static_cast<std::size_t>(row) * stride];
        for (int x = 0; x < WIDTH; ++x) {
            std::uint8_t rgb[3];
            true_colour(x, y, rgb);
            p[3 * x] = rgb[2];
            p[3 * x + 1] = rgb[1];
            p[3 * x + 2] = rgb[0];
        }
    }
    std::vector<std::uint8_t> file = bmp_header(24, 0, 0, data.size());
    file.insert(file.end(), data.begin(), data.end());
    return write_file("rgb24.bmp", file);
}

std::string make_bmp8() {
    int stride = (WIDTH + 3) & ~3;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stride) * HEIGHT, 0);
    for (int row = 0; row < HEIGHT; ++row) {
        for (int x = 0; x < WIDTH; ++x) {
            data[static_cast<std::size_t>(row) * stride + x] = index8(x, HEIGHT - 1 - row);
        }
    }
    std::vector<std::uint8_t> file = bmp_header(8, 0, 256, data.size());
    file.insert(file.end(), data.begin(), data.end());
    return write_file("palette8.bmp", file);
}

std::string make_bmp4() {
    int stride = ((WIDTH + 1) / 2 + 3) & ~3;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stride) * HEIGHT, 0);
    for (int row = 0; row < HEIGHT; ++row) {
        for (int x = 0; x < WIDTH; ++x) {
            std::uint8_t v = index4(x, HEIGHT - 1 - row);
            std::uint8_t& byte = data[static_cast<std::size_t>(row) * stride + x / 2];
            byte |= (x & 1) ? v : static_cast<std::uint8_t>(v << 4);
        }
    }
    std::vector<std::uint8_t> file = bmp_header(4, 0, 16, data.size());
    file.insert(file.end(), data.begin(), data.end());
    return write_file("palette4.bmp", file);
}

// RLE8: encoded runs for three or more equal indices, absolute runs for
// stretches of three or more other indices, an end of line per row and an
// end of bitmap.
std::string make_rle8() {
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> row(WIDTH);
    for (int r = 0; r < HEIGHT; ++r) {
        for (int x = 0; x < WIDTH; ++x) {
            row[x] = index8(x, HEIGHT - 1 - r);
        }
        int x = 0;
        while (x < WIDTH) {
            int run = 1;
            while (x + run < WIDTH && run < 255 && row[x + run] == row[x]) {
                ++run;
            }
            if (run >= 3) {
                data.push_back(static_cast<std::uint8_t>(run));
                data.push_back(row[x]);
                x += run;
                continue;
            }
            int end = x;
            while (end < WIDTH && end - x < 255) {
                if (end + 2 < WIDTH && row[end] == row[end + 1] && row[end] == row[end + 2]) {
                    break;
                }
                ++end;
            }
            int count = end - x;
            if (count >= 3) {
                data.push_back(0);
                data.push_back(static_cast<std::uint8_t>(count));
                data.insert(data.end(), row.begin() + x, row.begin() + end);
                if (count & 1) {
                    data.push_back(0);
                }
            } else {
                for (int i = 0; i < count; ++i) {
                    data.push_back(1);
                    data.push_back(row[x + i]);
                }
            }
            x = end;
        }
        data.push_back(0);
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(1);
    std::vector<std::uint8_t> file = bmp_header(8, 1, 256, data.size());
    file.insert(file.end(), data.begin(), data.end());
    return write_file("rle8.bmp", file);
}

std::string make_png(const char* name, bool alpha, bool interlaced) {
    std::string path = directory + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (file == nullptr || png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(2);
    }
    const int channels = alpha ? 4 : 3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(WIDTH) * HEIGHT * channels);
    std::vector<png_bytep> rows(HEIGHT);
    for (int y = 0; y < HEIGHT; ++y) {
        png_bytep p = &pixels[static_cast<std::size_t>(y) * WIDTH * channels];
        rows[y] = p;
        for (int x = 0; x < WIDTH; ++x) {
            true_colour(x, y, p + x * channels);
            if (alpha) {
                p[x * channels + 3] = static_cast<std::uint8_t>(255 - ((x + 2 * y) / 24) % 256);
            }
        }
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, WIDTH, HEIGHT, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    created.push_back(path);
    return path;
}

std::vector<WideChar> wide_path(const std::string& path) {
    std::vector<WideChar> out;
    for (unsigned char c : path) {
        out.push_back(c); // the temporary directory's name is ASCII
    }
    out.push_back(0);
    return out;
}

std::string compare(GdkPixbuf* ours, GdkPixbuf* reference) {
    if (ours == nullptr || reference == nullptr) {
        return ours == nullptr ? "image_load failed" : "gdk-pixbuf failed";
    }
    int width = gdk_pixbuf_get_width(ours), height = gdk_pixbuf_get_height(ours);
    if (width != gdk_pixbuf_get_width(reference) || height != gdk_pixbuf_get_height(reference)) {
        return "sizes differ";
    }
    int oc = gdk_pixbuf_get_n_channels(ours), rc = gdk_pixbuf_get_n_channels(reference);
    int os = gdk_pixbuf_get_rowstride(ours), rs = gdk_pixbuf_get_rowstride(reference);
    const guint8* op = gdk_pixbuf_read_pixels(ours);
    const guint8* rp = gdk_pixbuf_read_pixels(reference);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const guint8* a = op + static_cast<std::size_t>(y) * os + x * oc;
            const guint8* b = rp + static_cast<std::size_t>(y) * rs + x * rc;
            bool same = a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
            std::uint8_t alpha_a = oc == 4 ? a[3] : 255, alpha_b = rc == 4 ? b[3] : 255;
            if (!same || alpha_a != alpha_b) {
                char text[128];
                std::snprintf(text, sizeof text, "pixel (%d,%d): %d,%d,%d,%d vs %d,%d,%d,%d", x, y, a[0], a[1], a[2],
                              alpha_a, b[0], b[1], b[2], alpha_b);
                return text;
            }
        }
    }
    return "";
}

void register_file(const std::string& name, const std::string& path, double target) {
    std::vector<WideChar> wide = wide_path(path);
    bench_register_pair(
        "image/" + name, target,
        [wide, path] {
            ObjectId id = image_load(AUTO_NUMBER, wide.data());
            GError* error = nullptr;
            GdkPixbuf* reference = gdk_pixbuf_new_from_file(path.c_str(), &error);
            std::string diff = compare(id != 0 ? image_handle(id) : nullptr, reference);
            if (error != nullptr) {
                diff += std::string(" (") + error->message + ")";
                g_error_free(error);
            }
            if (reference != nullptr) {
                g_object_unref(reference);
            }
            if (id != 0) {
                image_free(id);
            }
            return diff;
        },
        [wide](benchmark::State& state) {
            for (auto _ : state) {
                ObjectId id = image_load(AUTO_NUMBER, wide.data());
                bench_keep(id);
                image_free(id);
            }
        },
        [path](benchmark::State& state) {
            for (auto _ : state) {
                GdkPixbuf* pixels = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
                bench_keep(pixels);
                if (pixels != nullptr) {
                    g_object_unref(pixels);
                }
            }
        });
}

} // namespace

int main(int argc, char** argv) {
    workspace_init();
    image_decoders_init();
    bmp_decoder_register();
    list_hooks_init();
    image_table_init();
    png_decoder_register();

    char pattern[] = "/tmp/tda-image-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::fprintf(stderr, "cannot make a temporary directory\n");
        return 2;
    }
    directory = pattern;
    std::fprintf(stderr, "generating 4000x3000 test images in %s ...\n", pattern);
    register_file("bmp/24-bit", make_bmp24(), BMP_TARGET);
    register_file("bmp/8-bit-palette", make_bmp8(), BMP_TARGET);
    register_file("bmp/4-bit-palette", make_bmp4(), BMP_TARGET);
    register_file("bmp/rle8", make_rle8(), BMP_TARGET);
    register_file("png/rgb", make_png("rgb.png", false, false), PNG_TARGET);
    register_file("png/rgba", make_png("rgba.png", true, false), PNG_TARGET);
    register_file("png/rgb-interlaced", make_png("interlaced.png", false, true), PNG_TARGET);
    bench_note("images", "images: 4000 x 3000 pixels; one iteration = load the file and free the pixel buffer");

    int status = bench_main(argc, argv, "Images");
    for (const std::string& path : created) {
        unlink(path.c_str());
    }
    rmdir(directory.c_str());
    image_free(AUTO_NUMBER);
    workspace_end();
    return status;
}
