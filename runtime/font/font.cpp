// Fonts: Pango font descriptions kept as numbered objects.
#include "runtime/font/font.h"

#include "runtime/core/object_table.h"
#include "runtime/core/utf_convert.h"

#include <pango/pango.h>

#include <glib.h>

namespace {

ObjectTable* font_table = nullptr;

// Largest size in points that still fits Pango's 32-bit units.
constexpr std::int32_t FONT_SIZE_MAX = G_MAXINT32 / FONT_PANGO_SCALE;

constexpr int FONT_WEIGHT_BOLD = 700;

} // namespace

void font_init() {
    table_create_once(&font_table, sizeof(FontRecord), 16, font_free);
}

ObjectId font_load(ObjectId number, const WideChar* name, std::int32_t size, std::uint32_t flags) {
    auto* record = static_cast<FontRecord*>(object_allocate(font_table, number));
    if (!record) return 0;
    ObjectId id = number == AUTO_NUMBER ? reinterpret_cast<ObjectId>(record) : number;

    char* utf8 = string_to_utf8_gtk(name);
    PangoFontDescription* description = pango_font_description_from_string(utf8);
    g_free(utf8);
    if (!description) {
        object_release(font_table, id);
        return 0;
    }
    // Pango refuses negative sizes and its units are 32-bit: keep the size
    // within what it can hold.
    std::int32_t points = size < 0 ? 0 : (size > FONT_SIZE_MAX ? FONT_SIZE_MAX : size);
    pango_font_description_set_size(description, points * FONT_PANGO_SCALE);
    if (flags & FONT_BOLD) pango_font_description_set_weight(description, static_cast<PangoWeight>(FONT_WEIGHT_BOLD));
    if (flags & FONT_ITALIC) pango_font_description_set_style(description, PANGO_STYLE_ITALIC);

    record->description = description;
    return number == AUTO_NUMBER ? id : reinterpret_cast<ObjectId>(description);
}

ObjectId font_load(ObjectId number, const WideChar* name, std::int32_t size) {
    return font_load(number, name, size, 0);
}

PangoFontDescription* font_handle(ObjectId font) {
    if (!font_table) return nullptr;
    auto* record = static_cast<FontRecord*>(object_lookup(font_table, font));
    return record ? record->description : nullptr;
}

void font_free(ObjectId font) {
    if (!font_table) return;
    if (font == AUTO_NUMBER) {
        table_free_all(font_table);
        return;
    }
    auto* record = static_cast<FontRecord*>(object_lookup(font_table, font));
    if (!record) return;
    pango_font_description_free(record->description);
    record->description = nullptr;
    object_release(font_table, font);
}

void font_end() {
    if (font_table) table_free_all(font_table);
}
