// Shared state of the image library's units (not for other libraries).
#pragma once

#include "runtime/core/object_table.h"
#include "runtime/image/image.h"

// The image table; null before image_table_init.
ObjectTable* image_table();

// Number of registered decoders and the decoder at index (registration order).
int image_decoder_count();
const ImageDecoder* image_decoder_at(int index);
