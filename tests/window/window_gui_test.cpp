// Windows on a real X display: flags, decorations, centring, events from real
// input and from the window manager, colours on screen, freeing.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/layout_scale.h"
#include "runtime/window/window.h"
#include "runtime/window/window_internal.h"
#include "support/gui_support.h"

#include <gdk/gdkx.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace {

using namespace tda_test;

constexpr int SCREEN_W = 1280; // the virtual screen the helpers start
constexpr int SCREEN_H = 1024;

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        gui_runtime_start();
        window_free(-1);
        discard_events();
    }
    void TearDown() override {
        window_free(-1);
        discard_events();
    }
};

// Motif hints as GDK wrote them: {flags, functions, decorations, ...}.
bool motif_hints(GtkWindow* window, long* functions, long* decorations) {
    GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(window));
    GdkAtom atom = gdk_atom_intern_static_string("_MOTIF_WM_HINTS");
    GdkAtom type;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    if (!gdk_property_get(w, atom, atom, 0, 5 * 4, FALSE, &type, &format, &length, &data)) return false;
    bool ok = format == 32 && length >= 3 * static_cast<gint>(sizeof(long));
    if (ok) {
        const long* hints = reinterpret_cast<const long*>(data);
        *functions = hints[1];
        *decorations = hints[2];
    }
    g_free(data);
    return ok;
}

GtkWidget* layout_of(ObjectId id) {
    return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window_handle(id)), "tda_gadgetlist"));
}

bool shown(ObjectId id) {
    GtkWindow* w = window_handle(id);
    return w && gtk_widget_get_mapped(GTK_WIDGET(w));
}

GdkRectangle frame_of(ObjectId id) {
    GdkRectangle r{};
    gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(window_handle(id))), &r);
    return r;
}

std::vector<TakenEvent> events_of(const std::vector<TakenEvent>& all, std::int64_t type) {
    std::vector<TakenEvent> out;
    for (const TakenEvent& e : all)
        if (e.type == type) out.push_back(e);
    return out;
}

// ---------------------------------------------------------------------------
// No window manager needed.

TEST_F(Window, AutoNumberGivesIdAndNumberGivesToolkitWindow) {
    ObjectId id = window_open(AUTO_NUMBER, 10, 10, 300, 200, u"auto", 0);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, AUTO_NUMBER);
    EXPECT_EQ(window_width(id), 300);
    EXPECT_EQ(window_height(id), 200);

    ObjectId result = window_open(3, 10, 10, 320, 240, u"three", 0);
    ASSERT_NE(window_handle(3), nullptr);
    EXPECT_EQ(result, reinterpret_cast<ObjectId>(window_handle(3)));
    EXPECT_STREQ(gtk_window_get_title(window_handle(3)), "three");
    EXPECT_EQ(window_width(3), 320);
    EXPECT_EQ(g_object_get_data(G_OBJECT(window_handle(3)), "tda_id"), reinterpret_cast<gpointer>(3));
}

TEST_F(Window, DecorationsAndFunctionsFollowTheFlags) {
    struct Case {
        std::uint32_t flags;
        long decorations, functions;
        bool resizable;
    } cases[] = {
        {364, 58, 44, false},                 // the calculator's window: border, title, menu, minimize
        {0, 10, 36, false},                   // border and title; move and close
        {WINDOW_RESIZABLE, 14, 38, true},     // + resize handle / resize
        {WINDOW_WITH_MAXIMIZE, 78, 54, true}, // + maximize, resizable too
        {WINDOW_NO_DECORATIONS | WINDOW_WITH_MINIMIZE, 0, 44, false},
        {WINDOW_UTILITY | WINDOW_WITH_MAXIMIZE | WINDOW_WITH_MINIMIZE, 14, 38, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ObjectId id = window_open(AUTO_NUMBER, 20, 20, 200, 100, u"flags", c.flags | WINDOW_INVISIBLE);
        ASSERT_NE(id, 0);
        long functions = -1, decorations = -1;
        ASSERT_TRUE(motif_hints(window_handle(id), &functions, &decorations));
        EXPECT_EQ(decorations, c.decorations);
        EXPECT_EQ(functions, c.functions);
        EXPECT_EQ(static_cast<bool>(gtk_window_get_resizable(window_handle(id))), c.resizable);
        window_free(id);
    }
}

TEST_F(Window, TextScaleGrowsTheContentButNotTheReportedSize) {
    // The grown content is measured on screen by the Wayland test.
    layout_scale_set_factor(1.25);
    ObjectId id = window_open(AUTO_NUMBER, 20, 20, 790, 400, u"scaled", 364);
    layout_scale_set_factor(0);
    // The program keeps its own units: its resize handler sees 790.
    EXPECT_EQ(window_width(id), 790);
    EXPECT_EQ(window_height(id), 400);
}

// GtkWindow's own map_event handler, counted: it runs only when no handler
// before it claimed the event.
int g_gtk_map_runs = 0;
gboolean (*g_gtk_map_event)(GtkWidget*, GdkEventAny*) = nullptr;
gboolean counted_map_event(GtkWidget* widget, GdkEventAny* event) {
    ++g_gtk_map_runs;
    return g_gtk_map_event(widget, event);
}

TEST_F(Window, MapWaitLetsGtksOwnMapHandlerRun) {
    auto* klass = GTK_WIDGET_CLASS(g_type_class_ref(GTK_TYPE_WINDOW));
    g_gtk_map_event = klass->map_event;
    klass->map_event = counted_map_event;
    for (int i = 0; i < 3; ++i) {
        window_open(AUTO_NUMBER, 10, 10, 100, 80, u"mapped");
        EXPECT_EQ(window_last_map_wait(), WindowMapWait::mapped);
    }
    klass->map_event = g_gtk_map_event;
    g_type_class_unref(klass);
    EXPECT_EQ(g_gtk_map_runs, 3);
}

TEST_F(Window, UtilityWindowHint) {
    ObjectId id = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"u", WINDOW_UTILITY | WINDOW_INVISIBLE);
    EXPECT_EQ(gtk_window_get_type_hint(window_handle(id)), GDK_WINDOW_TYPE_HINT_UTILITY);
}

TEST_F(Window, CentredOnScreenWithTruncatingHalves) {
    // Without a window manager the window's origin is where it was moved.
    struct Case {
        std::int32_t x, y, w, h;
        std::uint32_t flags;
    } cases[] = {
        {40, 40, 790, 400, 364},
        {WINDOW_POSITION_UNSET, 5, 301, 201, 0}, // the unset position centres too
        {5, WINDOW_POSITION_UNSET, 301, 201, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        ObjectId id = window_open(AUTO_NUMBER, c.x, c.y, c.w, c.h, u"centre", c.flags);
        ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
        settle(100);
        int x = -1, y = -1;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window_handle(id))), &x, &y);
        EXPECT_EQ(x, SCREEN_W / 2 - c.w / 2);
        EXPECT_EQ(y, SCREEN_H / 2 - c.h / 2);
        window_free(id);
    }
}

TEST_F(Window, PlacedAtItsPositionAndCentredOverItsParent) {
    ObjectId parent = window_open(AUTO_NUMBER, 100, 50, 400, 300, u"parent", 0);
    ASSERT_TRUE(pump_until("the parent window to be mapped", [&] { return shown(parent); }));
    settle(100);
    int px = -1, py = -1;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window_handle(parent))), &px, &py);
    EXPECT_EQ(px, 100);
    EXPECT_EQ(py, 50);

    ObjectId child = window_open(AUTO_NUMBER, 0, 0, 101, 51, u"child", WINDOW_CENTER_ON_PARENT, window_handle(parent));
    ASSERT_TRUE(pump_until("the child window to be mapped", [&] { return shown(child); }));
    settle(100);
    EXPECT_EQ(gtk_window_get_transient_for(window_handle(child)), window_handle(parent));
    int cx = -1, cy = -1;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window_handle(child))), &cx, &cy);
    EXPECT_EQ(cx, 100 + 400 / 2 - 101 / 2);
    EXPECT_EQ(cy, 50 + 300 / 2 - 51 / 2);
}

TEST_F(Window, ReplacedWindowGivenAsItsOwnParentCountsAsNoParent) {
    ASSERT_NE(window_open(1, 10, 10, 200, 100, u"first", 0), 0);
    // Held, so that a use of the destroyed window would show as its being
    // the new window's parent rather than as a read of freed memory.
    GtkWindow* first = GTK_WINDOW(g_object_ref(window_handle(1)));
    ASSERT_NE(window_open(1, 10, 10, 200, 100, u"second", WINDOW_CENTER_ON_PARENT, first), 0);
    ASSERT_NE(window_handle(1), nullptr);
    EXPECT_STREQ(gtk_window_get_title(window_handle(1)), "second");
    EXPECT_EQ(gtk_window_get_transient_for(window_handle(1)), nullptr);
    g_object_unref(first);
}

TEST_F(Window, ConfigureEventsPostSizeAndMoveOnlyOnChange) {
    ObjectId id = window_open(AUTO_NUMBER, 30, 30, 200, 120, u"configure", WINDOW_RESIZABLE);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    settle(150);
    discard_events();
    GtkWindow* w = window_handle(id);
    auto configure = [&](int x, int y, int width, int height) {
        GdkEvent* e = gdk_event_new(GDK_CONFIGURE);
        e->configure.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(w))));
        e->configure.send_event = TRUE;
        e->configure.x = x;
        e->configure.y = y;
        e->configure.width = width;
        e->configure.height = height;
        gboolean handled = FALSE;
        g_signal_emit_by_name(w, "configure-event", e, &handled);
        gdk_event_free(e);
        std::vector<TakenEvent> out;
        while (event_take() != 0)
            out.push_back({event_type(), event_gadget(), event_window(), event_subtype()});
        return out;
    };
    int x = static_cast<int>(reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(w), "tda_previous_x")));
    int y = static_cast<int>(reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(w), "tda_previous_y")));

    auto same = configure(x, y, 200, 120);
    EXPECT_TRUE(same.empty());

    auto moved = configure(x + 7, y, 200, 120);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].type, EVENT_MOVE);
    EXPECT_EQ(moved[0].window, id);
    EXPECT_EQ(moved[0].object, 0);
    EXPECT_EQ(moved[0].subtype, 0);

    auto both = configure(x + 9, y + 1, 250, 130);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].type, EVENT_SIZE);
    EXPECT_EQ(both[1].type, EVENT_MOVE);
    EXPECT_EQ(window_width(id), 250);
    EXPECT_EQ(window_height(id), 130);

    auto sized = configure(x + 9, y + 1, 260, 130);
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].type, EVENT_SIZE);
}

TEST_F(Window, RealResizeReportsTheNewInnerSize) {
    ObjectId id = window_open(AUTO_NUMBER, 30, 30, 200, 120, u"resize", WINDOW_RESIZABLE);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    settle(150);
    discard_events();
    gtk_window_resize(window_handle(id), 333, 222);
    ASSERT_TRUE(pump_until("the window to be resized to 333 wide", [&] { return window_width(id) == 333; }));
    EXPECT_EQ(window_height(id), 222);
    std::vector<TakenEvent> events = drain_events();
    EXPECT_GE(count_events(events, EVENT_SIZE), 1);
}

TEST_F(Window, DeleteEventAndCloseKeysPostCloseAndKeepTheWindow) {
    ObjectId id = window_open(AUTO_NUMBER, 30, 30, 200, 120, u"close", 0);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    discard_events();
    GdkEvent* e = gdk_event_new(GDK_DELETE);
    e->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window_handle(id)))));
    for (int i = 0; i < 2; ++i)
        gtk_main_do_event(e);
    gdk_event_free(e);
    std::vector<TakenEvent> events = drain_events();
    ASSERT_EQ(events.size(), 1u); // the second request merges into the first
    EXPECT_EQ(events[0].type, EVENT_CLOSE);
    EXPECT_EQ(events[0].window, id);
    EXPECT_NE(window_handle(id), nullptr);
    EXPECT_TRUE(shown(id));

    // Ctrl+W and Ctrl+Q make the same request once bound, however often.
    GObject* keys = G_OBJECT(window_handle(id));
    EXPECT_FALSE(gtk_accel_groups_activate(keys, GDK_KEY_w, GDK_CONTROL_MASK));
    window_bind_close_keys(id);
    window_bind_close_keys(id);
    window_bind_close_keys(id + 1); // no such window
    for (guint key : {GDK_KEY_w, GDK_KEY_q}) {
        EXPECT_TRUE(gtk_accel_groups_activate(keys, key, GDK_CONTROL_MASK));
        events = drain_events();
        EXPECT_EQ(count_events(events, EVENT_CLOSE), 1);
        EXPECT_EQ(events.back().window, id);
    }
    EXPECT_TRUE(shown(id));
}

TEST_F(Window, ClicksOnTheGadgetAreaPostClickEvents) {
    ObjectId id = window_open(AUTO_NUMBER, 60, 60, 300, 200, u"clicks", 0);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    settle(150);
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(layout_of(id), &x, &y));
    x += 150;
    y += 100;
    discard_events();

    xtest_click(x, y, 1);
    std::vector<TakenEvent> left = events_before_marker(layout_of(id));
    auto clicks = events_of(left, EVENT_LEFT_CLICK);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].window, id);
    EXPECT_EQ(count_events(left, EVENT_LEFT_DOUBLE_CLICK), 0);

    settle(600); // beyond the double-click time
    discard_events();
    xtest_click(x, y, 3);
    std::vector<TakenEvent> right = events_before_marker(layout_of(id));
    EXPECT_EQ(count_events(right, EVENT_RIGHT_CLICK), 1);
    EXPECT_EQ(count_events(right, EVENT_LEFT_CLICK), 0);

    settle(600);
    discard_events();
    xtest_double_click(x, y, 1);
    EXPECT_EQ(count_events(events_before_marker(layout_of(id)), EVENT_LEFT_DOUBLE_CLICK), 1);
}

TEST_F(Window, SetColorShowsOnScreenInTheGadgetArea) {
    ObjectId id = window_open(AUTO_NUMBER, 50, 50, 300, 200, u"colour", 0);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    settle(150);
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(layout_of(id), &x, &y));
    Pixel theme = screen_pixel(x + 150, y + 100);

    window_set_color(id, rgb(188, 216, 215));
    settle(200);
    // The style colour is component x 256, as asked for.
    GdkRGBA style{};
    gtk_style_context_get_background_color(gtk_widget_get_style_context(layout_of(id)), GTK_STATE_FLAG_NORMAL, &style);
    EXPECT_NEAR(style.red * 65535, 48128, 0.5);
    EXPECT_NEAR(style.green * 65535, 55296, 0.5);
    EXPECT_NEAR(style.blue * 65535, 55040, 0.5);
    for (auto [dx, dy] : {std::pair{2, 2}, std::pair{150, 100}, std::pair{297, 197}}) {
        Pixel p = screen_pixel(x + dx, y + dy);
        EXPECT_EQ(p.red, 188) << dx;
        EXPECT_EQ(p.green, 216) << dx;
        EXPECT_EQ(p.blue, 215) << dx;
    }

    window_set_color(id, rgb(255, 0, 0));
    settle(200);
    Pixel red = screen_pixel(x + 150, y + 100);
    EXPECT_EQ(red.red, 255);
    EXPECT_EQ(red.green, 0);
    EXPECT_EQ(red.blue, 0);

    window_set_color(id, -1); // back to the theme
    settle(200);
    Pixel back = screen_pixel(x + 150, y + 100);
    EXPECT_EQ(back.red, theme.red);
    EXPECT_EQ(back.green, theme.green);
    EXPECT_EQ(back.blue, theme.blue);
}

// The window's colour decides the text colour of its labels and the ground
// of its fields (light ground: dark text, white fields; dark ground: light
// text, dark fields); -1 gives both back to the theme.
TEST_F(Window, SetColorPinsLabelTextAndFieldGround) {
    ObjectId id = window_open(AUTO_NUMBER, 50, 50, 300, 200, u"palette", 0);
    ASSERT_TRUE(pump_until("the window to be mapped", [&] { return shown(id); }));
    ObjectId label = gadget_text_create(AUTO_NUMBER, 10, 10, 100, 25, u"label", 0);
    ObjectId combo = gadget_combo_create(AUTO_NUMBER, 10, 50, 100, 30, COMBO_EDITABLE);
    GtkWidget* text = gadget_lookup(label)->main;
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(gadget_lookup(combo)->main));
    auto hex = [](const GdkRGBA& c) {
        char out[8];
        std::snprintf(out, sizeof out, "#%02x%02x%02x", static_cast<int>(c.red * 255 + 0.5),
                      static_cast<int>(c.green * 255 + 0.5), static_cast<int>(c.blue * 255 + 0.5));
        return std::string(out);
    };
    auto colours = [&] {
        GdkRGBA fg{}, ground{};
        gtk_style_context_get_color(gtk_widget_get_style_context(text), GTK_STATE_FLAG_NORMAL, &fg);
        gtk_style_context_get_background_color(gtk_widget_get_style_context(entry), GTK_STATE_FLAG_NORMAL, &ground);
        return std::pair{hex(fg), hex(ground)};
    };
    const auto theme = colours();
    struct Row {
        std::int64_t colour;
        const char* text;
        const char* field;
    };
    for (const Row& row : {Row{rgb(188, 216, 215), "#2e3436", "#ffffff"}, Row{rgb(20, 32, 42), "#eeeeec", "#2d2d2d"},
                           Row{rgb(255, 255, 255), "#2e3436", "#ffffff"}}) {
        window_set_color(id, row.colour);
        // Styles follow with the next frames; the entry's theme fades colours.
        const std::pair<std::string, std::string> pinned{row.text, row.field};
        pump_until("the pinned colours", [&] { return colours() == pinned; });
        auto [fg, ground] = colours();
        EXPECT_EQ(fg, row.text) << row.colour;
        EXPECT_EQ(ground, row.field) << row.colour;
    }
    window_set_color(id, -1);
    pump_until("the theme's colours", [&] { return colours() == theme; });
}

TEST_F(Window, NoFocusWindowGetsAcceptFocusBackAfterItsFirstDrawing) {
    ObjectId id = window_open(AUTO_NUMBER, 50, 50, 200, 100, u"nofocus", WINDOW_NO_FOCUS);
    GtkWindow* w = window_handle(id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(pump_until("accept-focus to come back", [&] { return gtk_window_get_accept_focus(w) == TRUE; }));
    EXPECT_EQ(g_object_get_data(G_OBJECT(w), "tda_restore_focus"), nullptr);

    ObjectId hidden = window_open(AUTO_NUMBER, 50, 50, 200, 100, u"hidden", WINDOW_INVISIBLE | WINDOW_NO_FOCUS);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window_handle(hidden))));
    EXPECT_TRUE(gtk_window_get_accept_focus(window_handle(hidden)));
}

TEST_F(Window, RepaintPostedWhenTheGadgetAreaIsDrawn) {
    ObjectId id = window_open(AUTO_NUMBER, 50, 50, 200, 100, u"draw", 0);
    discard_events();
    gtk_widget_queue_draw(layout_of(id));
    auto repaint = events_of(events_until(EVENT_REPAINT, "the gadget area to be drawn"), EVENT_REPAINT);
    ASSERT_FALSE(repaint.empty());
    EXPECT_EQ(repaint[0].window, id);
}

TEST_F(Window, FreeDestroysPurgesAndFreesTheNumber) {
    ObjectId result = window_open(4, 50, 50, 200, 100, u"four", 0);
    ASSERT_NE(result, 0);
    GtkWidget* first = GTK_WIDGET(window_handle(4));
    g_object_add_weak_pointer(G_OBJECT(first), reinterpret_cast<gpointer*>(&first));
    discard_events();
    event_post(EVENT_CLOSE, 0, 4, 0);
    event_post(EVENT_CLOSE, 0, 77, 0);
    window_free(4);
    EXPECT_EQ(window_handle(4), nullptr);
    EXPECT_EQ(window_width(4), 0);
    EXPECT_EQ(window_height(4), 0);
    std::vector<TakenEvent> left = drain_events();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].window, 77);
    EXPECT_EQ(first, nullptr); // the toolkit window is gone

    // Opening under a number in use replaces the window.
    window_open(4, 50, 50, 200, 100, u"again", 0);
    GtkWidget* second = GTK_WIDGET(window_handle(4));
    g_object_add_weak_pointer(G_OBJECT(second), reinterpret_cast<gpointer*>(&second));
    window_open(4, 50, 50, 210, 100, u"third", 0);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(window_width(4), 210);

    // Missing numbers are ignored.
    window_free(12345);
    window_set_color(12345, 0);
    window_set_state(12345, WINDOW_START_MAXIMIZED);
    EXPECT_EQ(window_width(-1), 0);
}

TEST_F(Window, WindowEndFreesEveryWindow) {
    ObjectId a = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"a", WINDOW_INVISIBLE);
    ObjectId b = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"b", WINDOW_INVISIBLE);
    window_open(2, 0, 0, 100, 100, u"2", WINDOW_INVISIBLE);
    window_open(6, 0, 0, 100, 100, u"6", WINDOW_INVISIBLE);
    window_end();
    for (ObjectId id : {a, b, ObjectId{2}, ObjectId{6}})
        EXPECT_EQ(window_handle(id), nullptr);
}

TEST_F(Window, EachNewWindowBecomesTheCurrentGadgetList) {
    ObjectId first = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"first", WINDOW_INVISIBLE);
    EXPECT_EQ(gadget_list_state()->current_list, layout_of(first));
    EXPECT_EQ(gadget_list_use(nullptr), window_handle(first));

    ObjectId second = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"second", WINDOW_INVISIBLE);
    EXPECT_EQ(gadget_list_state()->current_list, layout_of(second));

    ObjectId kept = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"kept", WINDOW_INVISIBLE | WINDOW_KEEP_CURRENT_LIST);
    EXPECT_NE(kept, 0);
    EXPECT_EQ(gadget_list_state()->current_list, layout_of(second));

    EXPECT_EQ(gadget_list_use(window_handle(first)), window_handle(second));
    EXPECT_EQ(gadget_list_state()->current_list, layout_of(first));

    window_free(first);
    EXPECT_EQ(gadget_list_state()->current_list, nullptr);
    EXPECT_EQ(gadget_list_use(nullptr), nullptr);
}

TEST_F(Window, OpenReturnsWhenTheWindowManagerNeverMaps) {
    ObjectId id = 0;
    {
        IgnoringWindowManager manager;
        ASSERT_TRUE(manager.active());
        // Returning at all is the point: an unbounded wait would hang here.
        id = window_open(AUTO_NUMBER, 10, 10, 200, 100, u"never mapped", 0);
        ASSERT_NE(id, 0);
        const unsigned long xid = gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(window_handle(id))));
        EXPECT_EQ(run_command("xwininfo -id " + std::to_string(xid) + " | grep -q IsUnMapped"), 0);
    }
    // The program goes on with the window it got.
    EXPECT_NE(gadget_text_create(AUTO_NUMBER, 5, 5, 80, 20, u"after", 0), 0);
}

// ---------------------------------------------------------------------------
// Under a window manager.

class WindowManaged : public Window {
  protected:
    void SetUp() override {
        Window::SetUp();
        if (run_command("command -v openbox >/dev/null") != 0) GTEST_SKIP() << "openbox is not installed";
        ASSERT_TRUE(window_manager_start());
    }
};

// Frame size and client size once the window manager has framed the window.
bool framed(ObjectId id) {
    if (!shown(id)) return false;
    GdkRectangle f = frame_of(id);
    int w = 0, h = 0;
    gtk_window_get_size(window_handle(id), &w, &h);
    return f.height > h;
}

// Tab moves between the widgets of an active window only.
TEST_F(WindowManaged, FocusOrderWalksTheGivenGadgetsAndGivesTheProgramItsName) {
    ObjectId id = window_open(AUTO_NUMBER, 30, 30, 300, 200, u"order", 0);
    GtkWindow* window = window_handle(id);
    ASSERT_TRUE(pump_until("the window to be active", [&] { return gtk_window_is_active(window); }));
    ObjectId field = gadget_editor_create(AUTO_NUMBER, 10, 10, 100, 30);
    ObjectId combo = gadget_combo_create(AUTO_NUMBER, 10, 50, 100, 30, COMBO_EDITABLE);
    ObjectId button = gadget_button_create(AUTO_NUMBER, 10, 90, 100, 30, u"b");
    const ObjectId order[] = {button, 12345, combo, field};
    window_set_focus_order(id, order, 4);
    window_set_focus_order(id + 1, order, 4); // no such window
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(gadget_lookup(combo)->main));
    gtk_widget_grab_focus(gadget_lookup(button)->main);
    // One stop per gadget, the combo box's at its entry; Tab leaves the field.
    for (GtkWidget* next : {entry, gadget_lookup(field)->main, gadget_lookup(button)->main}) {
        gtk_bindings_activate(G_OBJECT(window), GDK_KEY_Tab, static_cast<GdkModifierType>(0));
        EXPECT_EQ(gtk_window_get_focus(window), next);
    }
    EXPECT_FALSE(gtk_text_view_get_accepts_tab(GTK_TEXT_VIEW(gadget_lookup(field)->main)));

    window_set_application_name(u"Named 日付");
    EXPECT_STREQ(atk_object_get_name(atk_get_root()), "Named 日付");
}

TEST_F(WindowManaged, CalculatorFlagsGiveAFixedCentredDecoratedWindow) {
    ObjectId id = window_open(AUTO_NUMBER, 40, 40, 790, 400, u"TovamiDaysAfter", 364);
    ASSERT_TRUE(pump_until("the window manager to frame the window", [&] { return framed(id); }));
    settle(300);
    EXPECT_EQ(window_width(id), 790);
    EXPECT_EQ(window_height(id), 400);
    GdkRectangle f = frame_of(id);
    // Centred although asked for 40, 40: the frame's corner is where the
    // window was moved (north-west gravity).
    EXPECT_EQ(f.x, SCREEN_W / 2 - 790 / 2);
    EXPECT_EQ(f.y, SCREEN_H / 2 - 400 / 2);
    EXPECT_EQ(gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(window_handle(id))), nullptr), TRUE);

    // The user drags to resize (Alt + right button, the window manager's
    // binding): the size stays.
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(layout_of(id), &x, &y));
    discard_events();
    xtest_move(x + 780, y + 390);
    settle(50);
    xtest_key_down("Alt_L", true);
    xtest_button(3, true);
    for (int step = 1; step <= 10; ++step) {
        xtest_move(x + 780 + step * 10, y + 390 + step * 8);
        settle(20);
    }
    xtest_button(3, false);
    xtest_key_down("Alt_L", false);
    // The marker goes through the window manager too: a move request, which
    // it handles after the drag, comes back as EVENT_MOVE.
    GdkRectangle before = frame_of(id);
    ASSERT_EQ(run_command("wmctrl -r TovamiDaysAfter -e 0," + std::to_string(before.x + 10) + "," +
                          std::to_string(before.y) + ",-1,-1"),
              0);
    std::vector<TakenEvent> after_drag = events_until(EVENT_MOVE, "the window manager's move after the drag");
    int w = 0, h = 0;
    gtk_window_get_size(window_handle(id), &w, &h);
    EXPECT_EQ(w, 790);
    EXPECT_EQ(h, 400);
    EXPECT_EQ(window_width(id), 790);
    EXPECT_EQ(count_events(after_drag, EVENT_SIZE), 0);
}

TEST_F(WindowManaged, ResizableWindowFollowsTheUsersDrag) {
    // The control case of the test above: the same drag does resize a
    // resizable window.
    ObjectId id = window_open(AUTO_NUMBER, 100, 100, 300, 200, u"resizable", WINDOW_RESIZABLE);
    ASSERT_TRUE(pump_until("the window manager to frame the window", [&] { return framed(id); }));
    settle(300);
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(layout_of(id), &x, &y));
    discard_events();
    xtest_move(x + 290, y + 190);
    settle(50);
    xtest_key_down("Alt_L", true);
    xtest_button(3, true);
    for (int step = 1; step <= 10; ++step) {
        xtest_move(x + 290 + step * 10, y + 190 + step * 8);
        settle(20);
    }
    xtest_button(3, false);
    xtest_key_down("Alt_L", false);
    ASSERT_TRUE(pump_until("the drag to widen the window", [&] { return window_width(id) > 300; }));
    EXPECT_GT(window_height(id), 200);
    EXPECT_GE(count_events(drain_events(), EVENT_SIZE), 1);
}

TEST_F(WindowManaged, CloseRequestsFromTheWindowManagerPostCloseOnly) {
    ObjectId id = window_open(AUTO_NUMBER, 100, 100, 300, 200, u"closeme", 364);
    ASSERT_TRUE(pump_until("the window manager to frame the window", [&] { return framed(id); }));
    settle(200);
    discard_events();
    ASSERT_EQ(run_command("wmctrl -c closeme"), 0);
    auto closes = events_of(events_until(EVENT_CLOSE, "the close request of the window manager"), EVENT_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].window, id);
    settle(200);
    EXPECT_TRUE(shown(id)); // the application decides
}

TEST_F(WindowManaged, StateRequestsPostStateEvents) {
    ObjectId id = window_open(AUTO_NUMBER, 100, 100, 300, 200, u"states", WINDOW_WITH_MAXIMIZE | WINDOW_WITH_MINIMIZE);
    ASSERT_TRUE(pump_until("the window manager to frame the window", [&] { return framed(id); }));
    settle(200);
    discard_events();
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(window_handle(id)));
    const struct {
        std::uint32_t state;
        std::int64_t event;
        const char* what;
    } steps[] = {
        {WINDOW_START_MAXIMIZED, EVENT_MAXIMIZE, "EVENT_MAXIMIZE after the maximize request"},
        {0, EVENT_RESTORE, "EVENT_RESTORE after maximized"},
        {WINDOW_START_MINIMIZED, EVENT_MINIMIZE, "EVENT_MINIMIZE after the minimize request"},
        {0, EVENT_RESTORE, "EVENT_RESTORE after minimized"},
    };
    for (const auto& step : steps) {
        window_set_state(id, step.state);
        EXPECT_EQ(count_events(events_until(step.event, step.what), step.event), 1) << step.what;
        if (step.event == EVENT_MAXIMIZE) {
            EXPECT_TRUE(gdk_window_get_state(gw) & GDK_WINDOW_STATE_MAXIMIZED);
        }
    }
}

TEST_F(WindowManaged, StartMinimizedEndsTheMapWaitAtOnce) {
    ObjectId id = window_open(AUTO_NUMBER, 100, 100, 300, 200, u"small", WINDOW_WITH_MINIMIZE | WINDOW_START_MINIMIZED);
    EXPECT_TRUE(gdk_window_get_state(gtk_widget_get_window(GTK_WIDGET(window_handle(id)))) &
                GDK_WINDOW_STATE_ICONIFIED);
    EXPECT_EQ(window_last_map_wait(), WindowMapWait::unmapped_by_design);
}

TEST_F(WindowManaged, StartMaximized) {
    ObjectId id = window_open(AUTO_NUMBER, 100, 100, 300, 200, u"big", WINDOW_WITH_MAXIMIZE | WINDOW_START_MAXIMIZED);
    ASSERT_TRUE(pump_until("the window to start maximized", [&] { return window_width(id) > 1000; }));
}

} // namespace
