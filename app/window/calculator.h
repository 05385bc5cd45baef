// The calculator's window, its gadgets and the handlers that act on them.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// Colours of the window, packed as red + 256 green + 65536 blue.
constexpr std::int32_t APP_BACKGROUND = 14145724; // 188, 216, 215
constexpr std::int32_t APP_COUNT_TEXT = 855835;   // 27, 15, 13
constexpr std::int32_t APP_BLACK = 0;
constexpr std::int32_t APP_LABEL_GREY = 4605510; // 70, 70, 70

// Font 3, the Japanese Gothic of the "　日付入力" button: the families that
// provide fonts-japanese-gothic, IPA Gothic first under both the names
// fontconfig knows it by. Pango takes the first one installed; with none of
// them, fontconfig's fallback draws the text.
constexpr const WideChar* JAPANESE_GOTHIC_FONT = u"IPAGothic,IPAゴシック,Noto Sans CJK JP,TakaoGothic,VL Gothic";

// The caption of the date input button, the same in every language (UTF-8).
constexpr const char* DATE_INPUT_CAPTION = "\u3000日付入力";

// Images loaded at start-up (0 when a file could not be read).
extern ObjectId logo_image;
extern ObjectId banner_image;

// The window and the gadgets that the handlers and the dispatcher use.
// before_button has the fixed number 0.
extern ObjectId main_window;
extern ObjectId year_field, month_combo, day_combo;
extern ObjectId after_count_field, after_result_field;
extern ObjectId before_count_field, before_result_field;
extern ObjectId after_button, date_input_button, date_calendar;
extern ObjectId banner_gadget, logo_gadget;
// The secondary lines under the results: the result's weekday, or its era
// date, weekday and holiday (result_note).
extern ObjectId after_note_label, before_note_label;
constexpr ObjectId before_button = 0;

// Opens the window and creates its 23 gadgets. Returns 0, or 1 as soon as a
// creation fails, after naming the gadget in one line on stderr.
std::int64_t open_main_window(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height);

// The handlers; each takes the current event's subtype and returns 0.
std::int64_t compute_date_after(std::int64_t subtype);
std::int64_t compute_date_before(std::int64_t subtype);
std::int64_t fill_date_from_calendar(std::int64_t subtype = 0);
std::int64_t show_about(std::int64_t subtype);

// Follows a change of the window's size. Returns 0.
std::int64_t on_main_window_size();

// Acts on one event type from event_wait. Returns DISPATCH_STOP (0) when the
// main loop is to end, 1 otherwise.
std::int64_t dispatch_event(std::int64_t type);

// The absolute path of a logo file, in the directory fixed at build time.
// Returns a WideString owned by the caller (free with string_free).
WideChar* logo_path(const char* file_name);

// Loads the logo `file_name` from the logo directory (image_load with
// AUTO_NUMBER). 0 when it cannot be read, after one line on stderr: "cannot
// read logo PATH: REASON".
ObjectId load_logo(const char* file_name);
