// Writes the fuzzers' seed corpora: BMP files of every depth and compression
// written byte by byte, PNG files of every colour type and depth written with
// libpng. Usage: make_seeds <directory>; makes <directory>/bmp and /png.
#include "support/image_test_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>

using namespace tda_test;

namespace {

std::vector<std::vector<std::uint32_t>> rows_of(std::int32_t w, std::int32_t h, std::uint32_t modulo) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (std::int32_t y = 0; y < h; ++y) {
        std::vector<std::uint32_t> row;
        for (std::int32_t x = 0; x < w; ++x)
            row.push_back((std::uint32_t(x * 7 + y * 13) * 2654435761u >> 8) % modulo);
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::uint32_t> palette_of(int n) {
    std::vector<std::uint32_t> p;
    for (int i = 0; i < n; ++i)
        p.push_back(std::uint32_t(i) * 0x050B11u & 0xFFFFFF);
    return p;
}

void bmp_seeds(const std::string& dir) {
    struct Kind {
        std::uint16_t bits;
        std::uint32_t compression;
        const char* name;
    } kinds[] = {{1, 0, "1bit"},     {4, 0, "4bit"},       {4, 2, "4bit_rle"},   {8, 0, "8bit"},
                 {8, 1, "8bit_rle"}, {16, 0, "16bit_555"}, {16, 3, "16bit_565"}, {24, 0, "24bit"},
                 {32, 0, "32bit"},   {16, 1, "16bit_rle"}, {24, 1, "24bit_rle"}, {2, 0, "2bit"}};
    for (const Kind& k : kinds) {
        for (std::int32_t w : {1, 5, 13}) {
            BmpLayout s;
            s.width = w;
            s.height = 3;
            s.bits = k.bits;
            s.compression = k.compression;
            if (k.bits <= 8) {
                s.palette = palette_of(1 << k.bits);
                s.colours_used = w == 5 ? std::uint32_t(s.palette.size()) : 0;
            }
            std::uint32_t modulo = k.bits >= 24 ? 0xFFFFFF : k.bits == 16 ? 0x10000 : 1u << (k.bits ? k.bits : 1);
            if (k.compression == 1 && k.bits == 8) {
                // Runs, an odd absolute run, a delta, end of line and bitmap.
                s.pixel_data = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, std::uint8_t(w), 2, 0, 0, 0, 2, 1, 0, 2, 9, 0, 1};
            } else {
                s.pixel_data = bmp_pack_rows(w, k.bits, rows_of(w, 3, modulo));
            }
            write_file(dir + "/" + k.name + "_w" + std::to_string(w) + ".bmp", bmp_bytes(s));
        }
    }
}

void png_seeds(const std::string& dir) {
    struct Kind {
        int colour_type, depth;
        bool trns;
    } kinds[] = {{0, 1, false}, {0, 2, false},  {0, 4, false}, {0, 8, false},  {0, 16, false}, {0, 8, true},
                 {2, 8, false}, {2, 16, false}, {2, 8, true},  {3, 1, false},  {3, 2, false},  {3, 4, false},
                 {3, 8, false}, {3, 8, true},   {4, 8, false}, {4, 16, false}, {6, 8, false},  {6, 16, false}};
    for (const Kind& k : kinds) {
        for (bool interlaced : {false, true}) {
            PngLayout s;
            s.width = 9;
            s.height = 7;
            s.colour_type = k.colour_type;
            s.bit_depth = k.depth;
            s.interlaced = interlaced;
            std::uint32_t max = (1u << k.depth) - 1;
            if (k.colour_type == 3) {
                s.palette = palette_of(1 << k.depth);
                if (k.trns) s.palette_alpha = {0, 100, 200};
                max = std::uint32_t(s.palette.size()) - 1;
            } else if (k.trns) {
                s.grey_transparent = true;
                s.transparent_grey = 1;
                s.transparent_rgb[0] = 1;
            }
            std::size_t n = std::size_t(s.width) * s.height * png_channels(k.colour_type);
            for (std::size_t i = 0; i < n; ++i)
                s.samples.push_back(std::uint32_t(i * 2654435761u >> 5) % (max + 1));
            std::string name = "type" + std::to_string(k.colour_type) + "_depth" + std::to_string(k.depth) +
                               (k.trns ? "_trns" : "") + (interlaced ? "_interlaced" : "") + ".png";
            write_file(dir + "/" + name, png_bytes(s));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    mkdir((root + "/bmp").c_str(), 0755);
    mkdir((root + "/png").c_str(), 0755);
    bmp_seeds(root + "/bmp");
    png_seeds(root + "/png");
    return 0;
}
