// Creators of the gadget kinds that the application places in its window:
// text, button, combo box, editor and calendar. Each creator follows the
// common creation protocol of the gadget model: it places its widgets in the
// calling thread's current gadget list at (x, y), gives them the size
// (width, height) and registers the gadget under `number`.
//
// Result of every creator: with AUTO_NUMBER the new gadget's id; with a
// number, the gadget's main toolkit widget (as an integer; the caller already
// knows the id); 0 when the first toolkit widget cannot be made. A number
// that already names a gadget destroys that gadget first.
// Creators take no lock: they run on the thread that holds the GDK lock.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// The image gadget's creator and flags live in their own header; this one
// brings them along so that one include reaches every kind's creator.
#include "runtime/gadget/image_gadget.h"

// Text gadget flags.
constexpr std::int32_t TEXT_ALIGN_RIGHT = 1;  // label aligned x 1.0, y 0.0
constexpr std::int32_t TEXT_ALIGN_CENTRE = 2; // x 0.5, y 0.0 (TEXT_ALIGN_RIGHT wins)
constexpr std::int32_t TEXT_FRAMED = 4;       // sunken frame around the label

// Button gadget flags.
constexpr std::int32_t BUTTON_ALIGN_RIGHT = 1; // caption x 1.0, y 0.5
constexpr std::int32_t BUTTON_ALIGN_LEFT = 2;  // caption x 0.0, y 0.5 (BUTTON_ALIGN_RIGHT wins)
constexpr std::int32_t BUTTON_TOGGLE = 4;      // toggle button
constexpr std::int32_t BUTTON_WRAP = 16;       // caption wraps

// Combo box gadget flags.
constexpr std::int32_t COMBO_EDITABLE = 1;   // has an editable entry
constexpr std::int32_t COMBO_LOWER_CASE = 2; // item and entry texts to lower case
constexpr std::int32_t COMBO_UPPER_CASE = 4; // likewise to upper case
constexpr std::int32_t COMBO_IMAGES = 8;     // items may carry an image

// Editor gadget flags, also the attribute codes of its get/set_attribute slots.
constexpr std::int32_t EDITOR_READ_ONLY = 1; // the view rejects typing
constexpr std::int32_t EDITOR_WORD_WRAP = 2; // lines wrap at word boundaries
// Attribute only (set with the kind's set_attribute): one line of text. Return
// inserts nothing and posts SUBTYPE_ENTER_KEY; an inserted, pasted or set text
// keeps only what comes before its first line or paragraph separator, and the
// field holds at most FIELD_MAX_CHARS characters. Cannot be taken back.
constexpr std::int32_t EDITOR_SINGLE_LINE = 4;

// The most characters (code points: a combining mark counts as one) that a
// single-line editor or an editable combo box's entry holds; the rest of a
// longer text, typed, pasted or set by the program, is left out. No date
// field or day count needs more than a few dozen, and the toolkit lays out a
// very long line so slowly (seconds per cursor move for 100 000 mixed-script
// characters) that the window would stop answering.
constexpr std::int32_t FIELD_MAX_CHARS = 64;
// Subtype posted by a single-line editor when Return or Enter is pressed in it.
constexpr std::int64_t SUBTYPE_ENTER_KEY = 1024;

// A fixed, wrapping label. `text` may be null (no text).
ObjectId gadget_text_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                            const WideChar* text, std::int32_t flags = 0);

// A push button, or a toggle button with BUTTON_TOGGLE; each click posts
// EVENT_GADGET with SUBTYPE_LEFT_CLICK. `text` may be null.
ObjectId gadget_button_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              const WideChar* text, std::int32_t flags = 0);

// A drop-down list of text items, with an entry when COMBO_EDITABLE is given.
// The entry takes one line (as a single-line editor does) of at most
// FIELD_MAX_CHARS characters. A change of the selection by the user posts
// SUBTYPE_CHANGE.
ObjectId gadget_combo_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             std::int32_t flags = 0);

// A multi-line text area with scroll bars; typing posts SUBTYPE_CHANGE.
ObjectId gadget_editor_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              std::int32_t flags = 0);

// A month calendar showing `date` (a DateValue; 0 = today) selected; clicking a
// day posts SUBTYPE_LEFT_CLICK. The gadget's state is the selected DateValue.
ObjectId gadget_calendar_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width,
                                std::int32_t height, std::int32_t date = 0);

// From now on the calendar's accessible name is its selected day, written
// with `format` (a strftime format, copied) in the LC_TIME locale; with a
// null format, in that locale's own date format too, so that names and order
// come from one category (calendar_words.h). Does nothing when `gadget` is no
// calendar. Takes no lock.
void gadget_calendar_name_days(ObjectId gadget, const char* format);
