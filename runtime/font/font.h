// Fonts as numbered runtime objects: a font is a Pango font description loaded
// by name, size and style under a number, handed to gadgets by font_handle.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

typedef struct _PangoFontDescription PangoFontDescription;

// Style flags of font_load; other bits are ignored.
constexpr std::uint32_t FONT_BOLD = 1;   // weight 700
constexpr std::uint32_t FONT_ITALIC = 2; // italic style

// Pango units per point.
constexpr std::int32_t FONT_PANGO_SCALE = 1024;

// One loaded font; a record whose description is null is free.
struct FontRecord {
    PangoFontDescription* description; // owned by the record
};

// Creates the font table (growth 16, free procedure font_free). Start-up,
// after gui_start; a second call does nothing.
void font_init();

// Loads `name` (Pango's description syntax; its size is replaced) at `size`
// points with FONT_* flags. A number that holds a font frees it first.
// Returns, for AUTO_NUMBER, the new font's id (its record address); for a
// number, the PangoFontDescription as an integer; 0 on failure.
ObjectId font_load(ObjectId number, const WideChar* name, std::int32_t size, std::uint32_t flags);
ObjectId font_load(ObjectId number, const WideChar* name, std::int32_t size);

// The description of a font, or null when the number holds none. Owned by
// the font; valid until the font is freed or replaced.
PangoFontDescription* font_handle(ObjectId font);

// Frees a font; -1 frees every font. A number without a font is ignored.
void font_free(ObjectId font);

// Shut-down: frees every font.
void font_end();
