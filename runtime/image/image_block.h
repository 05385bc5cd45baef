// Large pixel and file blocks of the image library.
#pragma once

#include <cstddef>

// A block of size bytes from the system allocator, released with free().
// Blocks of several megabytes are aligned to 2 MiB and marked for huge pages,
// so that filling them costs a few hundred page faults instead of thousands.
// Null on failure.
void* image_block_alloc(std::size_t size);
