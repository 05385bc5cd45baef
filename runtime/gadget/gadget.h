// The gadget model: the record every gadget kind shares, the per-kind table
// of operations, the one creation path every kind goes through, and the common
// operations that dispatch through a kind's table.
//
// A gadget is named by its id: the number it was created under (0, 1, 2 ...)
// or, for AUTO_NUMBER, the address of its record. An id that names no live
// gadget (-1 included) is a missing gadget: operations on it do nothing and
// return 0 or an empty string.
#pragma once

#include "runtime/core/types.h"

#include <cstddef>
#include <cstdint>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _GtkCssProvider GtkCssProvider;

// Kind codes, read by gadget_kind.
constexpr std::int32_t GADGET_KIND_BUTTON = 1;
constexpr std::int32_t GADGET_KIND_TEXT = 3;
constexpr std::int32_t GADGET_KIND_COMBO = 8;
constexpr std::int32_t GADGET_KIND_IMAGE = 9;
constexpr std::int32_t GADGET_KIND_CALENDAR = 20;
constexpr std::int32_t GADGET_KIND_EDITOR = 22;

// Subtypes of EVENT_GADGET: what happened to the gadget.
constexpr std::int64_t SUBTYPE_LEFT_CLICK = 0;
constexpr std::int64_t SUBTYPE_RIGHT_CLICK = 1;
constexpr std::int64_t SUBTYPE_LEFT_DOUBLE_CLICK = 2;
constexpr std::int64_t SUBTYPE_RIGHT_DOUBLE_CLICK = 3;
constexpr std::int64_t SUBTYPE_FOCUS = 256;
constexpr std::int64_t SUBTYPE_LOST_FOCUS = 512;
constexpr std::int64_t SUBTYPE_CHANGE = 768;
constexpr std::int64_t SUBTYPE_DRAG_START = 2048;

// Colour selectors and the theme colour.
constexpr std::int32_t COLOR_FRONT = 1;
constexpr std::int32_t COLOR_BACK = 2;
constexpr std::int64_t COLOR_DEFAULT = -1;

// A coordinate or size passed to gadget_resize that keeps the current value.
constexpr std::int32_t RESIZE_KEEP = -65535;

// Object-data keys on gadget widgets.
constexpr const char* GADGET_KEY_ID = "tda_id";                         // on main: id + 1
constexpr const char* GADGET_KEY_FONT = "tda_gadget_font";              // font last given by set_font
constexpr const char* GADGET_KEY_SPLITTER_CHILD = "tda_splitter_child"; // sized by its allocation

struct GadgetOps;

// One gadget, in the gadget table; zeroed when allocated. Every field is one
// machine word. A record whose `main` is null is free.
struct GadgetRecord {
    GtkWidget* main;      // the gadget's own widget; non-null while live
    GtkWidget* outer;     // the placed frame/box/scroller, or null when main is placed
    const GadgetOps* ops; // the kind's operations
    std::intptr_t data1;  // text/editor: front colour + 1; combo: flags; image: pixbuf shown
    std::intptr_t data2;  // text/editor: back colour + 1; combo: its GtkEntry or 0
    std::intptr_t data3;  // combo: its ListModelRecord
    std::intptr_t data4;  // text: its GtkEventBox; combo: its text cell renderer
};
static_assert(sizeof(GadgetRecord) == 7 * sizeof(void*), "GadgetRecord is seven machine words");
static_assert(offsetof(GadgetRecord, main) == 0, "the table reads the first word as the live mark");

// Operation table of one gadget kind; built zero-filled on the first creation
// of the kind and never freed. A null slot means the kind lacks the operation.
// Every slot takes the record first; text arguments are UTF-8, text results
// are WideStrings built at the given workspace offset.
struct GadgetOps {
    std::uint32_t size; // sizeof(GadgetOps)
    std::int32_t kind;  // GADGET_KIND_*
    void (*focus)(GadgetRecord* g);
    void (*free)(GadgetRecord* g);
    std::int64_t (*get_state)(GadgetRecord* g);
    void (*set_state)(GadgetRecord* g, std::int64_t state);
    WideChar* (*get_text)(GadgetRecord* g, std::int64_t at);
    void (*set_text)(GadgetRecord* g, const char* utf8);
    std::int64_t (*add_item)(GadgetRecord* g, std::int64_t position, const char* utf8, GdkPixbuf* image);
    std::int64_t (*add_item_ex)(GadgetRecord* g, std::int64_t position, const char* utf8, GdkPixbuf* image,
                                std::int64_t extra);
    void (*remove_item)(GadgetRecord* g, std::int64_t n);
    void (*clear_items)(GadgetRecord* g);
    void (*resize)(GadgetRecord* g, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    std::int64_t (*count_items)(GadgetRecord* g);
    void (*unused_12)(); // filled by no kind
    void (*unused_13)(); // filled by no kind
    WideChar* (*get_item_text)(GadgetRecord* g, std::int64_t n, std::int32_t column, std::int64_t at);
    void (*set_item_text)(GadgetRecord* g, std::int64_t n, const char* utf8, std::int32_t column);
    void (*set_font)(GadgetRecord* g, PangoFontDescription* font);
    void (*empty_17)();
    void (*empty_18)();
    std::int64_t (*get_attribute)(GadgetRecord* g, std::int32_t code);
    void (*set_attribute)(GadgetRecord* g, std::int32_t code, std::int64_t value);
    void (*empty_21)();
    void (*empty_22)();
    void (*empty_23)();
    void (*set_color)(GadgetRecord* g, std::int32_t selector, std::int32_t colour);
    std::int64_t (*get_color)(GadgetRecord* g, std::int32_t selector);
    void (*empty_26)();
    void (*empty_27)();
    void (*set_item_data)(GadgetRecord* g, std::int64_t n, std::int64_t value);
    std::int64_t (*get_item_data)(GadgetRecord* g, std::int64_t n);
    PangoFontDescription* (*get_font)(GadgetRecord* g);
    void (*set_item_image)(GadgetRecord* g, std::int64_t n, GdkPixbuf* image);
};
static_assert(offsetof(GadgetOps, focus) == 8, "slots follow the size and kind words");
static_assert(offsetof(GadgetOps, set_font) == 8 + 16 * sizeof(void*), "set_font is slot 17");
static_assert(offsetof(GadgetOps, set_color) == 8 + 24 * sizeof(void*), "set_color is slot 25");
static_assert(sizeof(GadgetOps) == 8 + 32 * sizeof(void*), "32 operation slots");

// ---------------------------------------------------------------------------
// Library start-up.

// Creates the gadget table (free procedure gadget_release), registers the
// per-thread gadget list state and adds the application CSS provider to the
// default screen. Called once at start-up, after gui_start, before any
// window opens.
void gadget_init();

// The style provider gadget_init added to the default screen (priority 600),
// null before it.
GtkCssProvider* gadget_css_provider();

// ---------------------------------------------------------------------------
// Common operations (main thread; the GDK lock is taken again around the
// toolkit work of the dispatching ones, ending with gdk_flush).

// Packs a colour as 0x00BBGGRR, components unmasked, sign-extended from 32 bits.
std::int64_t rgb(std::int64_t red, std::int64_t green, std::int64_t blue);

// Sets the gadget's text (null = empty). Posts no change event.
void gadget_set_text(ObjectId id, const WideChar* text);

// The gadget's text, built at workspace offset `at`; empty when the gadget is
// missing or its kind has no text.
WideChar* gadget_get_text(ObjectId id, std::int64_t at);

// Adds an item at `position` (-1 = end). Returns the kind's result (combo 1,
// editor 0), 0 when missing. Posts no change event.
std::int64_t gadget_add_item(ObjectId id, std::int64_t position, const WideChar* text);

// Colours the gadget: selector COLOR_FRONT or COLOR_BACK, colour from rgb or
// COLOR_DEFAULT. Other selectors change nothing.
void gadget_set_color(ObjectId id, std::int32_t selector, std::int64_t colour);

// The colour last set for the selector, COLOR_DEFAULT when never set or the
// kind has no colours.
std::int64_t gadget_get_color(ObjectId id, std::int32_t selector);

// Gives the gadget a font (null or -1 = remove the override). With id -1 the
// font becomes the calling thread's default for every gadget created later.
// The runtime keeps its own copies; the caller's font may be freed afterwards.
void gadget_set_font(ObjectId id, PangoFontDescription* font);
void gadget_set_font(ObjectId id, std::int64_t font);

// The font last given to the gadget, else its style's font; null when missing
// or the kind has no fonts. Not owned by the caller.
PangoFontDescription* gadget_get_font(ObjectId id);

// Moves and sizes the gadget; RESIZE_KEEP keeps a value. A resulting width or
// height of 0 or less leaves the size alone. A hidden gadget stays hidden.
void gadget_resize(ObjectId id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);

// The kind's state value (button pressed, combo index, calendar date, image
// handle); 0 when missing or the kind has none. Takes no lock.
std::int64_t gadget_get_state(ObjectId id);

// Sets the kind's state value; posts no change event. Nothing when missing.
void gadget_set_state(ObjectId id, std::int64_t state);

// The kind code, 0 when missing.
std::int64_t gadget_kind(ObjectId id);

// The size of the placed widget in pixels: its allocation for a splitter
// child, else its size request (falling back to main's); 0 when missing.
std::int64_t gadget_width(ObjectId id);
std::int64_t gadget_height(ObjectId id);

// Destroys the gadget's widgets (which releases its record); with
// AUTO_NUMBER, every gadget. The gadget table's free procedure.
void gadget_release(ObjectId id);
inline void gadget_free(ObjectId id) {
    gadget_release(id);
}

// ---------------------------------------------------------------------------
// Creation, for the gadget kinds. Every kind makes its widgets and hands
// them to gadget_create, which is the one path from widgets to a live gadget:
//
//   GtkWidget* main = gtk_..._new();           // null: return 0
//   ... build outer around main ...
//   return gadget_create(number, x, y, {main, outer, ops, finish, context});

// The calling thread's current gadget list, null when none or when the
// current list is not a GtkLayout (a creation then makes nothing, returns 0).
GtkWidget* gadget_current_list();

// What a kind hands to gadget_create. The widgets are floating (not yet in
// any container); gadget_create owns them from the call on.
struct GadgetBuild {
    GtkWidget* main;      // the kind's own widget
    GtkWidget* outer;     // the widget holding main that is placed, or null when main is placed
    const GadgetOps* ops; // the kind's operations
    // Kind step, run with the record's main, outer and ops filled: connects
    // the kind's handlers with the id, sets size requests and kind data.
    // False when it cannot finish (it then keeps nothing it allocated, or
    // leaves it where the kind's free slot releases it). May be null.
    bool (*finish)(GadgetRecord* g, ObjectId id, void* context);
    void* context; // passed to finish
};

// Makes a gadget of `build` under `number` (AUTO_NUMBER: a new id): takes a
// record (a live gadget under the number is destroyed first), fills it, runs
// the kind's finish step, places the widget at (x, y) with gadget_place,
// shows it and registers the gadget: realizes main, applies the thread's
// default font through set_font, connects main's "destroy", stores id + 1 as
// "tda_id" on main and runs the toolkit's pending events.
// Returns the id for AUTO_NUMBER, else main as an integer. 0 when there is
// no current list, main is null, no record can be had or finish fails; the
// widgets are then destroyed and nothing is kept. Main thread; takes no lock.
ObjectId gadget_create(ObjectId number, std::int32_t x, std::int32_t y, const GadgetBuild& build);

// Puts `placed` into the current gadget list at (x, y) (gtk_layout_put);
// nothing when there is no current list.
void gadget_place(GtkWidget* placed, std::int32_t x, std::int32_t y);

// The live record of an id, or null.
GadgetRecord* gadget_lookup(ObjectId id);

// Signal user data carrying a gadget id, and back.
#define GADGET_ID_DATA(id) (reinterpret_cast<void*>(static_cast<std::intptr_t>(id)))
inline ObjectId gadget_id_from_data(void* data) {
    return static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(data));
}

// Posts EVENT_GADGET for the gadget `id` with `subtype`; the window field is
// the "tda_id" of widget's top-level window, -1 when it has none.
void gadget_post_event(GtkWidget* widget, ObjectId id, std::int64_t subtype);

// Hands `text` to the kind's set_text slot as a freshly converted UTF-8 copy,
// freed afterwards; a null text or a kind without the slot does nothing. For
// creators, which set a new gadget's first text without posting an event.
void gadget_kind_set_text(GadgetRecord* g, const WideChar* text);

// Connects "focus-in-event" / "focus-out-event" of `widget` to handlers that
// post SUBTYPE_FOCUS / SUBTYPE_LOST_FOCUS for `id` and return FALSE.
void gadget_connect_focus_handlers(GtkWidget* widget, ObjectId id);

// The usual set_font: stores a copy of the font as "tda_gadget_font" on the
// widget (owned by the widget) and overrides the widget's font with it (null
// removes the override).
void gadget_widget_set_font(GtkWidget* widget, PangoFontDescription* font);

// The usual get_font: "tda_gadget_font" of the widget, else the font of its
// style context in the normal state. Not owned by the caller.
PangoFontDescription* gadget_widget_get_font(GtkWidget* widget);

// The colour algorithm shared by the text and editor kinds: stores colour + 1
// for the selector in data1/data2, then overrides `widget` (and, for the back
// colour, g->outer too). Selectors other than 1 and 2 change nothing.
void gadget_apply_color(GadgetRecord* g, GtkWidget* widget, std::int32_t selector, std::int32_t colour);

// The shared get_color: stored colour for selectors 1 and 2, -1 otherwise.
std::int64_t gadget_stored_color(const GadgetRecord* g, std::int32_t selector);

// Components (0..1) of the normal and of the selected-state inverse colour of
// a packed colour: inverse = 1 - normal, with values strictly between 0.4 and
// 0.6 replaced by 0.4.
struct GadgetColorPair {
    double normal[3];  // red, green, blue
    double inverse[3]; // red, green, blue
};
GadgetColorPair gadget_color_pair(std::int32_t colour);

// Holds the GDK lock for a gadget operation: gdk_threads_enter on entry;
// gdk_flush and gdk_threads_leave on exit.
class GadgetLockGuard {
  public:
    GadgetLockGuard();
    ~GadgetLockGuard();
    GadgetLockGuard(const GadgetLockGuard&) = delete;
    GadgetLockGuard& operator=(const GadgetLockGuard&) = delete;
};

// Suppresses event posting while program code changes a gadget.
class EventSuppressGuard {
  public:
    EventSuppressGuard();
    ~EventSuppressGuard();
    EventSuppressGuard(const EventSuppressGuard&) = delete;
    EventSuppressGuard& operator=(const EventSuppressGuard&) = delete;
};
