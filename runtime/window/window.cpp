// Top-level windows: opening with flags, the content box and gadget layout,
// size/colour/state requests and freeing.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/window/window.h"

#include "runtime/core/object_table.h"
#include "runtime/core/utf_convert.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/layout_scale.h"
#include "runtime/window/window_internal.h"

#include <gtk/gtk.h>

namespace {

ObjectTable* window_table = nullptr;

// Halves truncate toward zero, as C++ integer division does.
void centre_window(GtkWindow* window, std::uint32_t flags, GtkWindow* parent) {
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
    int width = layout_scale(window_data_int(window, WINDOW_KEY_PREVIOUS_WIDTH));
    int height = layout_scale(window_data_int(window, WINDOW_KEY_PREVIOUS_HEIGHT));
    if ((width == 0 || height == 0) && gdk_window) {
        GdkRectangle frame;
        gdk_window_get_frame_extents(gdk_window, &frame);
        if (width == 0) width = frame.width;
        if (height == 0) height = frame.height;
    }
    GdkRectangle ref{};
    if (flags & WINDOW_CENTER_ON_SCREEN) {
        GdkScreen* screen = gtk_window_get_screen(window);
        ref = GdkRectangle{0, 0, gdk_screen_get_width(screen), gdk_screen_get_height(screen)};
    } else if ((flags & WINDOW_CENTER_ON_PARENT) && parent) {
        GdkWindow* parent_window = gtk_widget_get_window(GTK_WIDGET(parent));
        if (!parent_window) return;
        gdk_window_get_frame_extents(parent_window, &ref);
    } else {
        return;
    }
    gtk_window_move(window, ref.x + ref.width / 2 - width / 2, ref.y + ref.height / 2 - height / 2);
}

// Frees the record of a window whose toolkit window is gone: the accelerator
// group, its queued events, the record itself.
void release_record(ObjectId id, WindowRecord* record) {
    if (record->accelerators) g_object_unref(record->accelerators);
    record->accelerators = nullptr;
    event_purge_window(id);
    object_release(window_table, id);
}

// What the last map wait of show_and_wait_for_map saw.
WindowMapWait g_last_map_wait = WindowMapWait::mapped;

struct MapWatch {
    bool mapped = false;   // "map-event" arrived
    bool unmapped = false; // iconified or withdrawn: the manager keeps it unmapped
    bool late = false;     // WINDOW_MAP_WAIT_MS passed
};

// Returns FALSE so that GTK's own map handler (and any later one) still runs.
static gboolean window_map_seen(GtkWidget*, GdkEvent*, gpointer data) noexcept {
    static_cast<MapWatch*>(data)->mapped = true;
    return FALSE;
}

static gboolean window_state_seen(GtkWidget*, GdkEventWindowState* event, gpointer data) noexcept {
    const bool iconified = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
    const bool withdrawn = (event->changed_mask & event->new_window_state & GDK_WINDOW_STATE_WITHDRAWN) != 0;
    if (iconified || withdrawn) static_cast<MapWatch*>(data)->unmapped = true;
    return FALSE;
}

static gboolean window_map_deadline(gpointer data) noexcept {
    static_cast<MapWatch*>(data)->late = true;
    return G_SOURCE_REMOVE;
}

// Shows a top-level window and runs toolkit iterations until it is mapped,
// but no longer than WINDOW_MAP_WAIT_MS: a window manager that is busy,
// still starting or broken may never map it, and the program must go on
// (the window appears whenever the manager gets to it). A window that is
// iconified (opened minimised, or put on a hidden workspace) or withdrawn
// stays unmapped by design, so the wait ends as soon as that is known.
// Called with the GDK lock held, like every window call.
void show_and_wait_for_map(GtkWidget* widget) {
    MapWatch watch;
    GdkWindow* gdk_window = gtk_widget_get_window(widget);
    if (gdk_window && (gdk_window_get_state(gdk_window) & GDK_WINDOW_STATE_ICONIFIED)) watch.unmapped = true;
    gulong map_handler = g_signal_connect(widget, "map-event", G_CALLBACK(window_map_seen), &watch);
    gulong state_handler = g_signal_connect(widget, "window-state-event", G_CALLBACK(window_state_seen), &watch);
    guint deadline = g_timeout_add(WINDOW_MAP_WAIT_MS, window_map_deadline, &watch);
    gtk_widget_show(widget);
    while (!watch.mapped && !watch.unmapped && !watch.late)
        gtk_main_iteration_do(TRUE);
    if (!watch.late) g_source_remove(deadline);
    g_signal_handler_disconnect(widget, map_handler);
    g_signal_handler_disconnect(widget, state_handler);
    g_last_map_wait = watch.mapped     ? WindowMapWait::mapped
                      : watch.unmapped ? WindowMapWait::unmapped_by_design
                                       : WindowMapWait::deadline;
}

static void window_destroyed(GtkWidget* widget, gpointer data) noexcept {
    ObjectId id = window_id_from_data(data);
    auto* record = static_cast<WindowRecord*>(object_lookup(window_table, id));
    // A later window may already hold the number; release only our own record.
    if (record && GTK_WIDGET(record->window) == widget) release_record(id, record);
}

} // namespace

WindowMapWait window_last_map_wait() {
    return g_last_map_wait;
}

int window_data_int(GtkWindow* window, const char* key) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(window), key)));
}

void window_set_data_int(GtkWindow* window, const char* key, int value) {
    g_object_set_data(G_OBJECT(window), key, reinterpret_cast<gpointer>(static_cast<std::intptr_t>(value)));
}

WindowRecord* window_lookup(ObjectId id) {
    if (!window_table) return nullptr;
    return static_cast<WindowRecord*>(object_lookup(window_table, id));
}

void window_init() {
    table_create_once(&window_table, sizeof(WindowRecord), 16, window_free);
    window_input_guard_install();
}

ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title, std::uint32_t flags, GtkWindow* parent) {
    if (x == WINDOW_POSITION_UNSET || y == WINDOW_POSITION_UNSET) flags |= WINDOW_CENTER_ON_SCREEN;
    // The toolkit takes no negative sizes; they give an empty window.
    if (width < 0) width = 0;
    if (height < 0) height = 0;

    // The window being replaced is destroyed by the allocation below; as a
    // parent it would be used after that, so it counts as no parent.
    if (parent && number != AUTO_NUMBER) {
        auto* replaced = static_cast<WindowRecord*>(object_lookup(window_table, number));
        if (replaced && replaced->window == parent) parent = nullptr;
    }
    auto* record = static_cast<WindowRecord*>(object_allocate(window_table, number));
    if (!record) return 0;
    ObjectId id = number == AUTO_NUMBER ? reinterpret_cast<ObjectId>(record) : number;

    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!widget) {
        object_release(window_table, id);
        return 0;
    }
    GtkWindow* window = GTK_WINDOW(widget);

    // The toolkit gets pixels; the record and the caller keep layout units.
    const int pixel_width = layout_scale(width);
    const int pixel_height = layout_scale(height);
    char* utf8 = string_to_utf8_gtk(title);
    gtk_window_set_title(window, utf8);
    gtk_window_set_default_size(window, pixel_width, pixel_height);
    window_set_data_int(window, WINDOW_KEY_PREVIOUS_WIDTH, width);
    window_set_data_int(window, WINDOW_KEY_PREVIOUS_HEIGHT, height);
    g_free(utf8);

    if (!(flags & (WINDOW_CENTER_ON_SCREEN | WINDOW_CENTER_ON_PARENT))) gtk_window_move(window, x, y);

    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    const bool resizable = flags & (WINDOW_RESIZABLE | WINDOW_WITH_MAXIMIZE);
    if (resizable) {
        gtk_widget_set_size_request(widget, WINDOW_MIN_SIZE, WINDOW_MIN_SIZE);
        decorations |= GDK_DECOR_RESIZEH;
        functions |= GDK_FUNC_RESIZE;
    } else {
        // The fixed size is the content's (the layout's, below): a size
        // request on the top-level window would count the title bar and
        // shadows of client-side decorations and leave less for the content.
        gtk_window_set_resizable(window, FALSE);
    }

    gtk_widget_realize(widget);

    if (flags & WINDOW_UTILITY) {
        flags &= ~(WINDOW_WITH_MAXIMIZE | WINDOW_WITH_MINIMIZE | WINDOW_START_MAXIMIZED | WINDOW_START_MINIMIZED);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_skip_taskbar_hint(window, FALSE);
        gtk_window_set_skip_pager_hint(window, FALSE);
    }

    if (flags & WINDOW_WITH_MINIMIZE) {
        decorations |= GDK_DECOR_MINIMIZE;
        functions |= GDK_FUNC_MINIMIZE;
    }
    if (flags & WINDOW_WITH_MAXIMIZE) {
        decorations |= GDK_DECOR_MAXIMIZE;
        functions |= GDK_FUNC_MAXIMIZE;
    }
    if (flags & WINDOW_WITH_MENU) decorations |= GDK_DECOR_MENU;
    if (flags & WINDOW_NO_DECORATIONS) decorations = 0;
    GdkWindow* gdk_window = gtk_widget_get_window(widget);
    gdk_window_set_decorations(gdk_window, static_cast<GdkWMDecoration>(decorations));
    gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));

    if (flags & (WINDOW_CENTER_ON_SCREEN | WINDOW_CENTER_ON_PARENT)) centre_window(window, flags, parent);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_object_set_data(G_OBJECT(window), WINDOW_KEY_VBOX, box);
    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    GdkColor background = gtk_widget_get_style(widget)->bg[GTK_STATE_NORMAL];
    gtk_widget_modify_bg(layout, GTK_STATE_NORMAL, &background);
    gtk_box_pack_start(GTK_BOX(box), layout, TRUE, TRUE, 0);
    if (!resizable) gtk_widget_set_size_request(layout, pixel_width, pixel_height);
    g_object_set_data(G_OBJECT(window), WINDOW_KEY_LIST_CONTAINER, layout);
    g_object_set_data(G_OBJECT(window), WINDOW_KEY_GADGETLIST, layout);

    window_connect_layout_signals(layout, id);
    gtk_widget_show_all(box);

    if (parent) gtk_window_set_transient_for(window, parent);

    g_signal_connect(window, "destroy", G_CALLBACK(window_destroyed), window_id_to_data(id));
    g_object_set_data(G_OBJECT(window), WINDOW_KEY_ID, window_id_to_data(id));
    window_connect_window_signals(window, id);

    record->window = window;
    record->parent = parent;
    record->accelerators = gtk_accel_group_new();
    g_object_set_data(G_OBJECT(window), WINDOW_KEY_ACCELERATORS, record->accelerators);
    gtk_window_add_accel_group(window, record->accelerators);
    record->flags = flags;
    record->background = -1;

    if (flags & WINDOW_START_MAXIMIZED)
        window_set_state(id, WINDOW_START_MAXIMIZED);
    else if (flags & WINDOW_START_MINIMIZED)
        window_set_state(id, WINDOW_START_MINIMIZED);

    if (!(flags & WINDOW_INVISIBLE)) {
        if (flags & WINDOW_NO_FOCUS) {
            gtk_window_set_accept_focus(window, FALSE);
            window_set_data_int(window, WINDOW_KEY_RESTORE_FOCUS, 1);
        }
        show_and_wait_for_map(widget);
    }

    events_flush();

    if (!(flags & WINDOW_KEEP_CURRENT_LIST)) gadget_list_use(window);

    return number == AUTO_NUMBER ? id : reinterpret_cast<ObjectId>(window);
}

ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title, std::uint32_t flags) {
    return window_open(number, x, y, width, height, title, flags, nullptr);
}

ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title) {
    return window_open(number, x, y, width, height, title, 0, nullptr);
}

std::int64_t window_width(ObjectId id) {
    WindowRecord* record = window_lookup(id);
    if (!record) return 0;
    int width = window_data_int(record->window, WINDOW_KEY_PREVIOUS_WIDTH);
    if (width != 0) return width;
    int height = 0;
    gtk_window_get_size(record->window, &width, &height);
    return layout_unscale(width);
}

std::int64_t window_height(ObjectId id) {
    WindowRecord* record = window_lookup(id);
    if (!record) return 0;
    int height = window_data_int(record->window, WINDOW_KEY_PREVIOUS_HEIGHT);
    if (height != 0) return height;
    int width = 0;
    gtk_window_get_size(record->window, &width, &height);
    return layout_unscale(height);
}

void window_set_color(ObjectId id, std::int64_t colour) {
    WindowRecord* record = window_lookup(id);
    if (!record) return;
    auto packed = static_cast<std::int32_t>(colour);
    record->background = packed;
    window_pin_palette(record->window, packed);
    auto* target = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(record->window), WINDOW_KEY_GADGETLIST));
    if (!target) target = GTK_WIDGET(record->window);
    if (packed == -1) {
        gtk_widget_modify_bg(target, GTK_STATE_NORMAL, nullptr);
    } else {
        auto bits = static_cast<std::uint32_t>(packed);
        GdkColor color{};
        color.red = static_cast<guint16>((bits & 0xFF) * 256);
        color.green = static_cast<guint16>(((bits >> 8) & 0xFF) * 256);
        color.blue = static_cast<guint16>(((bits >> 16) & 0xFF) * 256);
        gtk_widget_modify_bg(target, GTK_STATE_NORMAL, &color);
    }
    // The layout's "draw" handler paints the stored colour under the gadgets
    // (the style colour alone does not reach the screen for a GtkLayout).
    gtk_widget_queue_draw(target);
}

void window_set_state(ObjectId id, std::int64_t state) {
    WindowRecord* record = window_lookup(id);
    if (!record) return;
    if (state == WINDOW_START_MAXIMIZED) {
        gtk_window_maximize(record->window);
        gtk_window_deiconify(record->window);
    } else if (state == WINDOW_START_MINIMIZED) {
        gtk_window_iconify(record->window);
    } else {
        gtk_window_unmaximize(record->window);
        gtk_window_deiconify(record->window);
    }
}

void window_free(ObjectId id) {
    if (!window_table) return;
    if (id == AUTO_NUMBER) {
        table_free_all(window_table);
        return;
    }
    WindowRecord* record = window_lookup(id);
    if (!record) return;
    GtkWindow* window = record->window;
    event_unbind_window(id);
    gtk_widget_destroy(GTK_WIDGET(window));
    // The "destroy" handler released the record; make sure of it, so that a
    // table walk always moves on.
    record = window_lookup(id);
    if (record && record->window == window) release_record(id, record);
    events_flush();
    event_purge_window(id);
}

void window_end() {
    if (!window_table) return;
    table_iterate_begin(window_table);
    ObjectId id = 0;
    while (table_iterate_next(window_table, &id))
        window_free(id);
}

GtkWindow* window_handle(ObjectId id) {
    WindowRecord* record = window_lookup(id);
    return record ? record->window : nullptr;
}
