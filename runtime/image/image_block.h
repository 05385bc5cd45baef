// Large pixel and file blocks of the image library.
#pragma once

#include <cstddef>

// A zero-filled block of size bytes from the system allocator, released with
// free(): pixel rows a decoder leaves unwritten read black. In blocks of
// several megabytes the 2 MiB-aligned stretch is marked for huge pages, so
// that filling them costs a few hundred page faults instead of thousands.
// Null on failure.
void* image_block_alloc(std::size_t size);
