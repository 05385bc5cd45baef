// Image objects: numbered images in an ObjectTable, loaded from files by a
// registry of decoders into pixel blocks of the runtime's own, wrapped in
// GdkPixbuf objects. Display-free except image_init / image_end (the hidden
// GDK window, image_init_gtk.cpp) and image_drawing_init (cairo state).
#pragma once

#include "runtime/core/types.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <gdk-pixbuf/gdk-pixbuf.h>

struct LinkedList;

// Decoder tags: four bytes read as a little-endian number.
constexpr std::int32_t IMAGE_FORMAT_BMP = 5262658; // 'B' 'M' 'P' 0
constexpr std::int32_t IMAGE_FORMAT_PNG = 4673104; // 'P' 'N' 'G' 0

// Decode flags.
constexpr std::int32_t IMAGE_DECODE_BOTTOM_UP = 2; // image's bottom row into the buffer's first row

// Selector of image_depth asking for the depth of the source file.
constexpr std::int32_t IMAGE_DEPTH_SOURCE = -2;

// Most decoders the registry holds.
constexpr int IMAGE_DECODERS_MAX = 30;

// Largest width or height an ImageRecord can hold (its fields are 16-bit).
constexpr std::int32_t IMAGE_DIMENSION_MAX = 32767;

// Largest pixel block one frame may take; bigger images fail to load.
constexpr std::int64_t IMAGE_BLOCK_MAX = std::int64_t{512} * 1024 * 1024;

// One image, the record of the image table.
struct ImageRecord {
    GdkPixbuf* pixels;         // pixel buffer of the current frame; one reference owned
    std::int16_t width;        // width in pixels
    std::int16_t height;       // height in pixels
    std::int16_t depth;        // bits per pixel of the buffer: 24 (RGB) or 32 (RGBA)
    std::int16_t source_depth; // depth the decoder reported for the source file
    std::int32_t format;       // tag of the decoder that read the file
    std::int32_t frame_count;  // number of frames; 0 or 1 for a single image
    LinkedList* frames;        // list of ImageFrame, only when frame_count > 1
    std::int32_t frame_delay;  // delay of the current frame as the decoder reported it
};
static_assert(offsetof(ImageRecord, pixels) == 0, "first field is the live marker");
static_assert(offsetof(ImageRecord, width) == 8);
static_assert(offsetof(ImageRecord, height) == 10);
static_assert(offsetof(ImageRecord, depth) == 12);
static_assert(offsetof(ImageRecord, source_depth) == 14);
static_assert(offsetof(ImageRecord, format) == 16);
static_assert(offsetof(ImageRecord, frame_count) == 20);
static_assert(offsetof(ImageRecord, frames) == 24);
static_assert(offsetof(ImageRecord, frame_delay) == 32);
static_assert(sizeof(ImageRecord) == 40);

// One element of a multi-frame image's frame list.
struct ImageFrame {
    GdkPixbuf* pixels;  // the frame's pixel buffer; one reference owned by the frame
    std::int32_t delay; // the frame's delay as the decoder reported it
};
static_assert(sizeof(ImageFrame) == 16, "frame lists are made for 16-byte elements");

struct ImageDecodeContext;

// Decoder entries. check: non-zero when the decoder takes the file (the file
// is open at its start); it fills width, height, depth, source depth (and the
// frame fields for a multi-frame format). decode: writes height rows of width
// pixels, stride bytes apart, into buffer (which has room for height + 1 rows);
// non-zero on success. cleanup: releases the decoder's state.
using ImageCheckProc = int (*)(ImageDecodeContext* context);
using ImageDecodeProc = int (*)(ImageDecodeContext* context, std::uint8_t* buffer, std::int64_t stride,
                                std::int32_t flags);
using ImageCleanupProc = void (*)(ImageDecodeContext* context);

// Descriptor of one decoder, owned by its module and registered once.
struct ImageDecoder {
    ImageCheckProc check;     // accepts or refuses the open file
    ImageDecodeProc decode;   // writes the pixels
    ImageCleanupProc cleanup; // releases the decoder's state
    std::int32_t tag;         // IMAGE_FORMAT_* code
};

// The load in progress; one per thread, cleared at the start of each load.
struct ImageDecodeContext {
    const ImageDecoder* decoder; // the decoder that accepted the file
    const char* path;            // the file name, UTF-8 (owned by image_load)
    std::FILE* file;             // the open file, mode "rb"
    std::int32_t width;          // pixel width, set by check
    std::int32_t height;         // pixel height, set by check
    std::int32_t depth;          // 24 or 32, set by check
    void* state;                 // decoder state, owned by the decoder
    void* data;                  // decoder data, owned by the decoder
    std::int64_t colour_type;    // kept by the PNG decoder
    std::int64_t bit_depth;      // kept by the PNG decoder
    std::int32_t source_depth;   // set by check
    std::int32_t frame_count;    // set by check for a multi-frame format, else 0
    std::int32_t frame_delay;    // set by check for a multi-frame format, else 0
};

// Empties the decoder registry and makes the per-thread ImageDecodeContext
// slot. The first image call at start-up, before the toolkit starts.
void image_decoders_init();

// Appends decoder to the registry (at most IMAGE_DECODERS_MAX; further ones are
// ignored). Start-up only; the registry is read without a lock.
void image_decoder_register(const ImageDecoder* decoder);

// The calling thread's decode context (a per-thread slot); null before
// image_decoders_init.
ImageDecodeContext* image_decode_context();

// Registers the per-thread drawing state (a slot whose release procedure
// destroys what it holds when a thread ends). Implemented in image_drawing_gtk.cpp.
void image_drawing_init();

// Makes the image table without touching the display (image_init does this
// and also makes the hidden window). Safe to call more than once.
void image_table_init();

// Makes the image table and the hidden 10 x 10 GDK window. Needs the toolkit
// started. Implemented in image_init_gtk.cpp.
void image_init();

// Loads an image from a file. number: an object number or AUTO_NUMBER.
// Result: for AUTO_NUMBER the new image's id (its record address), for a
// number the GdkPixbuf (as an integer, the image keeps the reference);
// 0 on failure, after which the number holds no image. Prints nothing.
// A drawing of the same picture at twice the size, in a file beside it
// named with "@2x" before the extension ("logo@2x.png" for "logo.png"), is
// loaded too when it exists and is exactly twice as wide and high; it hangs
// on the pixel buffer (image_double_size) for displays with a scale of 2.
ObjectId image_load(ObjectId number, const WideChar* path);

// The double-size drawing loaded with the image whose pixel buffer is
// `pixels` (borrowed), or null when there is none.
GdkPixbuf* image_double_size(GdkPixbuf* pixels);

// The image's pixel buffer (borrowed), or null if the number holds no image.
GdkPixbuf* image_handle(ObjectId number);

// Width / height in pixels, or 0 if the number holds no image.
std::int32_t image_width(ObjectId number);
std::int32_t image_height(ObjectId number);

// The buffer's depth (24 or 32); with selector IMAGE_DEPTH_SOURCE the source
// file's depth; 0 if the number holds no image.
std::int32_t image_depth(ObjectId number, std::int32_t selector = 0);

// Frees one image, or all with AUTO_NUMBER (-1). Missing numbers do nothing.
void image_free(ObjectId number);

// Frees every image, then destroys the hidden window. Implemented in
// image_init_gtk.cpp; at the program's end.
void image_end();

// The stride and block size of a frame of width x height pixels of the given
// depth (32: RGBA, anything else: RGB), with one spare row. False (and
// nothing stored) when the size is not positive, exceeds IMAGE_DIMENSION_MAX
// or the block would exceed IMAGE_BLOCK_MAX.
bool image_layout(std::int32_t width, std::int32_t height, std::int32_t depth, std::int64_t* stride,
                  std::int64_t* block_size);

// Decoder registration (bmp_decoder.cpp, png_decoder.cpp); each registers at
// most once.
void bmp_decoder_register();
void png_decoder_register();
