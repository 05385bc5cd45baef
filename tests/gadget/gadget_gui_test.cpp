// The gadget model on a real display: creation protocol, ids and numbers,
// dispatch with event suppression, colours (on screen and in the selected
// state), fonts and the thread's default font, resize, destroy and release.
// A small probe kind (an event box holding a label) exercises the model
// without depending on any one real kind; the button kind checks clicks.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/font/font.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_access.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/image_gadget.h"
#include "runtime/gadget/layout_scale.h"
#include "runtime/window/window.h"
#include "support/allocation_failure.h"
#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cmath>
#include <functional>
#include <string>

namespace {

using namespace tda_test;

constexpr std::int32_t PROBE_KIND = 77;

int probe_frees = 0;
int probe_resizes = 0;

// ---------------------------------------------------------------------------
// The probe kind: outer = event box, main = label; data4 = the event box.

void probe_set_text(GadgetRecord* g, const char* utf8) {
    gtk_label_set_text(GTK_LABEL(g->main), utf8);
    // A toolkit change handler would post here; the program's own change must
    // not reach the queue.
    gadget_post_event(g->main, 0, SUBTYPE_CHANGE);
}

WideChar* probe_get_text(GadgetRecord* g, std::int64_t at) {
    string_from_utf8(gtk_label_get_text(GTK_LABEL(g->main)), at);
    return workspace_string_at(at);
}

std::int64_t probe_add_item(GadgetRecord* g, std::int64_t, const char* utf8, GdkPixbuf*) {
    probe_set_text(g, utf8);
    return 5;
}

std::int64_t probe_get_state(GadgetRecord* g) {
    return g->data3;
}
void probe_set_state(GadgetRecord* g, std::int64_t state) {
    g->data3 = static_cast<std::intptr_t>(state);
    gadget_post_event(g->main, 0, SUBTYPE_CHANGE);
}
void probe_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(g->main, font);
}
PangoFontDescription* probe_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(g->main);
}
void probe_set_color(GadgetRecord* g, std::int32_t selector, std::int32_t colour) {
    GtkWidget* box = reinterpret_cast<GtkWidget*>(g->data4);
    if (selector == COLOR_BACK) gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), colour != -1);
    gadget_apply_color(g, box, selector, colour);
}
std::int64_t probe_get_color(GadgetRecord* g, std::int32_t selector) {
    return gadget_stored_color(g, selector);
}
void probe_free(GadgetRecord*) {
    ++probe_frees;
}

const GadgetOps* probe_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = PROBE_KIND;
        o.free = probe_free;
        o.set_text = probe_set_text;
        o.get_text = probe_get_text;
        o.add_item = probe_add_item;
        o.get_state = probe_get_state;
        o.set_state = probe_set_state;
        o.set_font = probe_set_font;
        o.get_font = probe_get_font;
        o.set_color = probe_set_color;
        o.get_color = probe_get_color;
        return o;
    }();
    return &ops;
}

void probe_resize(GadgetRecord*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
    ++probe_resizes;
}

const GadgetOps* probe_ops_with_resize() {
    static const GadgetOps ops = [] {
        GadgetOps o = *probe_ops();
        o.resize = probe_resize;
        return o;
    }();
    return &ops;
}

bool probe_finish(GadgetRecord* g, ObjectId, void* size) {
    const int* wh = static_cast<const int*>(size);
    gtk_widget_set_size_request(g->outer, wh[0], wh[1]);
    g->data4 = reinterpret_cast<std::intptr_t>(g->outer);
    return true;
}

ObjectId probe_create(ObjectId number, int x, int y, int w, int h, const GadgetOps* ops = probe_ops()) {
    GtkWidget* label = gtk_label_new("");
    GtkWidget* box = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
    gtk_container_add(GTK_CONTAINER(box), label);
    int size[2] = {w, h};
    return gadget_create(number, x, y, {label, box, ops, probe_finish, size});
}

// ---------------------------------------------------------------------------

class Gadget : public ::testing::Test {
  protected:
    void SetUp() override {
        gui_runtime_start();
        window_free(-1);
        gadget_set_font(-1, nullptr);
        window = window_open(AUTO_NUMBER, 0, 0, 500, 300, u"gadgets", 0);
        ASSERT_NE(window, 0);
        ASSERT_TRUE(pump_until("the window to be mapped",
                               [&] { return gtk_widget_get_mapped(GTK_WIDGET(window_handle(window))); }));
        settle(100);
        discard_events();
        probe_frees = 0;
        probe_resizes = 0;
    }
    void TearDown() override {
        gadget_set_font(-1, nullptr);
        window_free(-1);
        discard_events();
    }
    GtkWidget* layout() const {
        return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window_handle(window)), "tda_gadgetlist"));
    }
    ObjectId window = 0;
};

TEST_F(Gadget, RgbPacksWithoutMasking) {
    EXPECT_EQ(rgb(255, 0, 0), 255);
    EXPECT_EQ(rgb(0, 0, 255), 16711680);
    EXPECT_EQ(rgb(188, 216, 215), 188 | 216 << 8 | 215 << 16);
    EXPECT_EQ(rgb(0, 0, 0x80FF), static_cast<std::int32_t>(0x80FF0000u)); // sign-extended from 32 bits
    EXPECT_LT(rgb(0, 0, 0x80FF), 0);
    EXPECT_EQ(rgb(0x1FF, 0, 0), 0x1FF); // no masking: red spills into green
}

TEST_F(Gadget, SelectedStateInverseColours) {
    struct Case {
        int r, g, b;
        double inverse[3];
    } cases[] = {
        {128, 128, 128, {0.4, 0.4, 0.4}},                                      // 0.498 lies between 0.4 and 0.6
        {0, 0, 0, {1.0, 1.0, 1.0}},       {0, 0, 128, {1.0, 1.0, 0.4}},        // only blue is replaced
        {255, 255, 255, {0.0, 0.0, 0.0}}, {102, 153, 100, {0.6, 0.4, 0.6078}}, // 0.6 and 0.4 themselves stay
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        GadgetColorPair pair = gadget_color_pair(static_cast<std::int32_t>(rgb(c.r, c.g, c.b)));
        EXPECT_NEAR(pair.normal[0], c.r / 255.0, 1e-9);
        EXPECT_NEAR(pair.normal[2], c.b / 255.0, 1e-9);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(pair.inverse[i], c.inverse[i], 1e-3) << i;
    }

    // The same through a gadget: the selected-state background of the
    // coloured widget and of outer.
    ObjectId id = probe_create(AUTO_NUMBER, 10, 10, 100, 30);
    gadget_set_color(id, COLOR_BACK, rgb(0, 0, 128));
    GadgetRecord* g = gadget_lookup(id);
    for (GtkWidget* w : {reinterpret_cast<GtkWidget*>(g->data4), g->outer}) {
        GdkRGBA selected{}, normal{}, selected_text{};
        GtkStyleContext* context = gtk_widget_get_style_context(w);
        gtk_style_context_get_background_color(context, GTK_STATE_FLAG_SELECTED, &selected);
        gtk_style_context_get_background_color(context, GTK_STATE_FLAG_NORMAL, &normal);
        gtk_style_context_get_color(context, GTK_STATE_FLAG_SELECTED, &selected_text);
        EXPECT_NEAR(selected.red, 1.0, 1e-3);
        EXPECT_NEAR(selected.green, 1.0, 1e-3);
        EXPECT_NEAR(selected.blue, 0.4, 1e-3);
        EXPECT_NEAR(normal.blue, 128 / 255.0, 1e-3);
        EXPECT_NEAR(selected_text.blue, 128 / 255.0, 1e-3);
    }
}

TEST_F(Gadget, ColoursAreStoredAndShownOnScreen) {
    ObjectId id = probe_create(AUTO_NUMBER, 20, 20, 200, 60);
    gadget_set_text(id, u"WWWWWWWW");
    font_load(9, u"Sans Bold", 24);
    gadget_set_font(id, font_handle(9));
    EXPECT_EQ(gadget_get_color(id, COLOR_FRONT), COLOR_DEFAULT);
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), COLOR_DEFAULT);

    gadget_set_color(id, COLOR_BACK, rgb(10, 200, 30));
    gadget_set_color(id, COLOR_FRONT, rgb(250, 0, 250));
    settle(200);
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), rgb(10, 200, 30));
    EXPECT_EQ(gadget_get_color(id, COLOR_FRONT), rgb(250, 0, 250));
    EXPECT_EQ(gadget_get_color(id, 3), COLOR_DEFAULT);

    GadgetRecord* g = gadget_lookup(id);
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(g->outer, &x, &y));
    // Back colour fills the area; front colour draws the text.
    Pixel corner = screen_pixel(x + 197, y + 57);
    EXPECT_EQ(corner.red, 10);
    EXPECT_EQ(corner.green, 200);
    EXPECT_EQ(corner.blue, 30);
    bool text_seen = false;
    for (int dy = 0; dy < 40 && !text_seen; ++dy)
        for (int dx = 0; dx < 190 && !text_seen; ++dx) {
            Pixel p = screen_pixel(x + dx, y + dy);
            text_seen = p.red > 200 && p.green < 60 && p.blue > 200;
        }
    EXPECT_TRUE(text_seen);

    // Another selector changes nothing; COLOR_DEFAULT gives the window back.
    gadget_set_color(id, 3, rgb(0, 0, 0));
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), rgb(10, 200, 30));
    window_set_color(window, rgb(90, 91, 92));
    gadget_set_color(id, COLOR_BACK, COLOR_DEFAULT);
    settle(200);
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), COLOR_DEFAULT);
    Pixel after = screen_pixel(x + 197, y + 57);
    EXPECT_EQ(after.red, 90);
    EXPECT_EQ(after.green, 91);
    EXPECT_EQ(after.blue, 92);
}

TEST_F(Gadget, AutoNumberAndNumberedCreation) {
    ObjectId id = probe_create(AUTO_NUMBER, 5, 5, 50, 20);
    EXPECT_NE(id, 0);
    EXPECT_NE(id, -1);
    EXPECT_EQ(gadget_kind(id), PROBE_KIND);
    gadget_set_text(id, u"auto");
    EXPECT_EQ(gadget_text_of(id), u"auto");

    ObjectId result = probe_create(0, 5, 40, 50, 20);
    GadgetRecord* g = gadget_lookup(0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(result, reinterpret_cast<ObjectId>(g->main));
    EXPECT_EQ(g_object_get_data(G_OBJECT(g->main), "tda_id"), reinterpret_cast<gpointer>(1)); // id + 1
    EXPECT_EQ(gtk_widget_get_parent(g->outer), layout());
    EXPECT_TRUE(gtk_widget_get_realized(g->main));

    // Events of gadget 0 carry object 0 and the window's id.
    discard_events();
    gadget_post_event(g->main, 0, SUBTYPE_LEFT_CLICK);
    std::vector<TakenEvent> events = drain_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EVENT_GADGET);
    EXPECT_EQ(events[0].object, 0);
    EXPECT_EQ(events[0].window, window);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LEFT_CLICK);

    // A widget outside any window posts window -1.
    GtkWidget* loose = gtk_label_new("x");
    g_object_ref_sink(loose);
    gadget_post_event(loose, 42, SUBTYPE_CHANGE);
    events = drain_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].window, -1);
    g_object_unref(loose);
}

TEST_F(Gadget, ReplacingANumberDestroysTheOldGadget) {
    probe_create(3, 5, 5, 50, 20);
    GadgetRecord* g = gadget_lookup(3);
    GtkWidget* old_main = g->main;
    GtkWidget* old_outer = g->outer;
    g_object_add_weak_pointer(G_OBJECT(old_main), reinterpret_cast<gpointer*>(&old_main));
    g_object_add_weak_pointer(G_OBJECT(old_outer), reinterpret_cast<gpointer*>(&old_outer));
    gadget_set_text(3, u"old");

    probe_create(3, 60, 5, 50, 20);
    EXPECT_EQ(old_main, nullptr);
    EXPECT_EQ(old_outer, nullptr);
    EXPECT_EQ(probe_frees, 1);
    EXPECT_EQ(gadget_text_of(3), u"");
    GList* children = gtk_container_get_children(GTK_CONTAINER(layout()));
    EXPECT_EQ(g_list_length(children), 1u);
    g_list_free(children);
}

TEST_F(Gadget, MissingGadgetsDoNothing) {
    for (ObjectId id : {ObjectId{-1}, ObjectId{0}, ObjectId{7}, ObjectId{999999}, ObjectId{0x7fff1234}}) {
        SCOPED_TRACE(id);
        gadget_set_text(id, u"x");
        EXPECT_EQ(gadget_text_of(id), u"");
        EXPECT_EQ(gadget_add_item(id, -1, u"x"), 0);
        gadget_set_color(id, COLOR_BACK, 0);
        EXPECT_EQ(gadget_get_color(id, COLOR_BACK), COLOR_DEFAULT);
        gadget_resize(id, 1, 2, 3, 4);
        gadget_set_state(id, 1);
        EXPECT_EQ(gadget_get_state(id), 0);
        EXPECT_EQ(gadget_kind(id), 0);
        EXPECT_EQ(gadget_width(id), 0);
        EXPECT_EQ(gadget_height(id), 0);
        EXPECT_EQ(gadget_get_font(id), nullptr);
        gadget_set_access(id, u"x", u"y");
        gadget_set_tooltip(id, u"x");
        gadget_set_label_for(id, &id, 1);
        gadget_announce(id, u"x");
        gadget_set_focus(id);
        gadget_set_focus_ring(id);
        gadget_editor_set_single_line(id);
        gadget_editor_set_read_only(id, true);
        gadget_image_set_button(id);
        gadget_release(id == -1 ? 12345 : id);
    }
    // Slots the kind lacks: a calendar has no text, and is no editor, label or image.
    ObjectId calendar = gadget_calendar_create(AUTO_NUMBER, 10, 10, 200, 150, 0);
    gadget_set_text(calendar, u"x");
    EXPECT_EQ(gadget_text_of(calendar), u"");
    gadget_editor_set_single_line(calendar);
    gadget_editor_set_read_only(calendar, true);
    gadget_image_set_button(calendar);
    gadget_set_label_for(calendar, &calendar, 1);
}

// What a screen reader meets: names on the object that takes the focus (a
// combo box's entry), a caption's relations and mnemonic, a tooltip, and a
// text spoken through the focused object's description until the focus left.
TEST_F(Gadget, AccessNamesLabelsAndAnnouncementsReachTheFocusedObject) {
    ObjectId combo = gadget_combo_create(AUTO_NUMBER, 10, 10, 120, 30, COMBO_EDITABLE);
    ObjectId field = gadget_editor_create(AUTO_NUMBER, 10, 50, 120, 30);
    ObjectId caption = gadget_text_create(AUTO_NUMBER, 150, 10, 80, 20, u"年(_Y)");
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(gadget_lookup(combo)->main));
    AtkObject* entry_access = gtk_widget_get_accessible(entry);
    gadget_set_access(combo, u"Year", u"Year of the start");
    gadget_set_access(combo, nullptr, nullptr); // leaves both
    for (GtkWidget* w : {entry, gadget_lookup(combo)->main}) {
        EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(w)), "Year");
        EXPECT_STREQ(atk_object_get_description(gtk_widget_get_accessible(w)), "Year of the start");
    }
    const ObjectId targets[] = {combo, 12345, field};
    gadget_set_label_for(caption, targets, 3);
    GtkLabel* label = GTK_LABEL(gadget_lookup(caption)->main);
    EXPECT_STREQ(gtk_label_get_text(label), "年(Y)");
    EXPECT_EQ(gtk_label_get_mnemonic_widget(label), entry);
    EXPECT_EQ(gtk_label_get_mnemonic_keyval(label), static_cast<guint>(GDK_KEY_y));
    // The targets of one relation of `object`: the first one and how many.
    auto targets_of = [](AtkObject* object, AtkRelationType type, gpointer* first) {
        AtkRelationSet* set = atk_object_ref_relation_set(object);
        AtkRelation* relation = atk_relation_set_get_relation_by_type(set, type);
        const guint n = relation != nullptr ? atk_relation_get_target(relation)->len : 0;
        *first = n > 0 ? g_ptr_array_index(atk_relation_get_target(relation), 0) : nullptr;
        g_object_unref(set);
        return n;
    };
    AtkObject* label_access = gtk_widget_get_accessible(GTK_WIDGET(label));
    gpointer first = nullptr;
    EXPECT_EQ(targets_of(entry_access, ATK_RELATION_LABELLED_BY, &first), 1u);
    EXPECT_EQ(first, label_access);
    // The entry, the combo box and the field.
    EXPECT_EQ(targets_of(label_access, ATK_RELATION_LABEL_FOR, &first), 3u);
    gadget_set_tooltip(field, u"tip");
    gchar* tip = gtk_widget_get_tooltip_text(gadget_lookup(field)->main);
    EXPECT_STREQ(tip, "tip");
    g_free(tip);

    AtkObject* field_access = gtk_widget_get_accessible(gadget_lookup(field)->main);
    atk_object_set_description(field_access, "own");
    gadget_announce(field, u"Date after: 2024/02/29"); // no focus in the window yet: nothing
    EXPECT_STREQ(atk_object_get_description(field_access), "own");
    gadget_set_focus(field);
    gadget_announce(combo, u"Date after: 2024/02/29");
    const std::string said = atk_object_get_description(field_access);
    gadget_announce(combo, u"Date after: 2024/02/29");
    EXPECT_NE(atk_object_get_description(field_access), said); // said again
    EXPECT_EQ(said.rfind("Date after: 2024/02/29", 0), 0u);
    gadget_set_focus(combo);
    EXPECT_EQ(gtk_window_get_focus(window_handle(window)), entry);
    ASSERT_TRUE(pump_until("the field's own description back",
                           [&] { return std::string(atk_object_get_description(field_access)) == "own"; }));
}

TEST_F(Gadget, ProgramChangesPostNoEvents) {
    ObjectId id = probe_create(AUTO_NUMBER, 5, 5, 80, 20);
    discard_events();
    gadget_set_text(id, u"set");
    EXPECT_EQ(gadget_add_item(id, -1, u"item"), 5);
    gadget_set_state(id, 9);
    // Window events (a repaint of the new gadget) may come; gadget ones not.
    EXPECT_EQ(count_events(drain_events(), EVENT_GADGET), 0);
    EXPECT_EQ(gadget_text_of(id), u"item");
    EXPECT_EQ(gadget_get_state(id), 9);
    // Outside the program's changes the same post goes through.
    gadget_post_event(gadget_lookup(id)->main, id, SUBTYPE_CHANGE);
    EXPECT_EQ(count_events(drain_events(), EVENT_GADGET), 1);
}

TEST_F(Gadget, NullAndNonAsciiText) {
    ObjectId id = probe_create(AUTO_NUMBER, 5, 5, 80, 20);
    gadget_set_text(id, u"　日付入力 😀");
    EXPECT_EQ(gadget_text_of(id), u"　日付入力 😀");
    gadget_set_text(id, nullptr);
    EXPECT_EQ(gadget_text_of(id), u"");
}

TEST_F(Gadget, ResizeKeepsWhatIsAskedToKeep) {
    ObjectId id = probe_create(AUTO_NUMBER, 30, 40, 120, 50);
    GadgetRecord* g = gadget_lookup(id);
    auto position = [&](int* x, int* y) {
        gtk_container_child_get(GTK_CONTAINER(layout()), g->outer, "x", x, "y", y, nullptr);
    };
    auto request = [&](int* w, int* h) { gtk_widget_get_size_request(g->outer, w, h); };

    gadget_resize(id, RESIZE_KEEP, RESIZE_KEEP, 300, RESIZE_KEEP);
    int x = 0, y = 0, w = 0, h = 0;
    position(&x, &y);
    request(&w, &h);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(gadget_width(id), 300);
    EXPECT_EQ(gadget_height(id), 50);

    gadget_resize(id, 70, RESIZE_KEEP, RESIZE_KEEP, RESIZE_KEEP);
    position(&x, &y);
    EXPECT_EQ(x, 70);
    EXPECT_EQ(y, 40);

    // A width of 0 or less leaves the size alone but still moves.
    gadget_resize(id, 11, 12, 0, 80);
    gadget_resize(id, RESIZE_KEEP, RESIZE_KEEP, -5, 90);
    position(&x, &y);
    request(&w, &h);
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 12);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 50);

    // The move shows on screen.
    settle(150);
    GtkAllocation a;
    gtk_widget_get_allocation(g->outer, &a);
    EXPECT_EQ(a.x, 11);
    EXPECT_EQ(a.y, 12);
    EXPECT_EQ(a.width, 300);
}

TEST_F(Gadget, TextScaleMultipliesPlacesSizesAndResizesOnce) {
    // The scaled layout itself is measured on screen by the Wayland test;
    // here, what it cannot reach: a combo box has its request on the widget
    // inside its box, and a kept size is not scaled a second time.
    layout_scale_set_factor(1.25);
    const ObjectId id = probe_create(AUTO_NUMBER, 30, 40, 120, 50);
    GadgetRecord* probe = gadget_lookup(id);
    GadgetRecord* combo = gadget_lookup(gadget_combo_create(AUTO_NUMBER, 180, 70, 100, 30, 1));
    int w = 0, h = 0, combo_w = 0, combo_h = 0, kept = 0;
    gtk_widget_get_size_request(probe->outer, &w, &h);
    gtk_widget_get_size_request(combo->main, &combo_w, &combo_h);
    const std::int64_t width = gadget_width(id), height = gadget_height(id);
    gadget_resize(id, 30, 40, static_cast<std::int32_t>(width), RESIZE_KEEP); // its own width: no growth
    const std::int64_t width_again = gadget_width(id);
    gadget_resize(id, 260, 160, 160, RESIZE_KEEP);
    gtk_widget_get_size_request(probe->outer, &w, &kept);
    layout_scale_set_factor(0);
    EXPECT_GT(combo_w, 100);
    EXPECT_GT(h, 50);
    EXPECT_EQ(kept, h);
    EXPECT_EQ(width, 120); // layout units, like every other size
    EXPECT_EQ(height, 50);
    EXPECT_EQ(width_again, 120);
}

TEST_F(Gadget, HiddenGadgetStaysHiddenAfterResize) {
    ObjectId id = probe_create(AUTO_NUMBER, 30, 40, 120, 50);
    GadgetRecord* g = gadget_lookup(id);
    gtk_widget_hide(g->outer);
    gadget_resize(id, 5, 6, 70, 20);
    EXPECT_FALSE(gtk_widget_get_visible(g->outer));
    int w = 0, h = 0;
    gtk_widget_get_size_request(g->outer, &w, &h);
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 20);
}

TEST_F(Gadget, KindResizeSlotIsUsedInstead) {
    ObjectId id = probe_create(AUTO_NUMBER, 30, 40, 120, 50, probe_ops_with_resize());
    gadget_resize(id, 1, 1, 10, 10);
    EXPECT_EQ(probe_resizes, 1);
    int w = 0, h = 0;
    gtk_widget_get_size_request(gadget_lookup(id)->outer, &w, &h);
    EXPECT_EQ(w, 120);
}

TEST_F(Gadget, SizeFallsBackToMainsRequest) {
    ObjectId id = probe_create(AUTO_NUMBER, 30, 40, 120, 50);
    GadgetRecord* g = gadget_lookup(id);
    gtk_widget_set_size_request(g->outer, -1, -1);
    gtk_widget_set_size_request(g->main, 33, 44);
    EXPECT_EQ(gadget_width(id), 33);
    EXPECT_EQ(gadget_height(id), 44);
    g_object_set_data(G_OBJECT(g->outer), "tda_splitter_child", GINT_TO_POINTER(1));
    settle(100);
    GtkAllocation a;
    gtk_widget_get_allocation(g->outer, &a);
    EXPECT_EQ(gadget_width(id), a.width);
}

TEST_F(Gadget, FontsAndTheThreadsDefaultFontOutliveTheFontObject) {
    font_load(0, u"Sans", 10);
    font_load(1, u"Serif", 15);
    ObjectId a = probe_create(AUTO_NUMBER, 5, 5, 80, 20);
    PangoFontDescription* theme = gadget_get_font(a);
    ASSERT_NE(theme, nullptr);

    gadget_set_font(a, font_handle(0));
    EXPECT_TRUE(same_font(gadget_get_font(a), font_handle(0)));
    gadget_set_font(-1, font_handle(1));
    // Replacing both font objects leaves the stored copies as they were.
    PangoFontDescription* sans10 = pango_font_description_copy(font_handle(0));
    PangoFontDescription* serif15 = pango_font_description_copy(font_handle(1));
    font_load(0, u"Sans", 12);
    font_load(1, u"Sans", 12);
    EXPECT_TRUE(same_font(g_object_get_data(G_OBJECT(gadget_lookup(a)->main), "tda_gadget_font"), sans10));
    gadget_set_font(a, std::int64_t{-1}); // -1: no font
    EXPECT_EQ(g_object_get_data(G_OBJECT(gadget_lookup(a)->main), "tda_gadget_font"), nullptr);

    ObjectId b = probe_create(AUTO_NUMBER, 5, 30, 80, 20);
    EXPECT_TRUE(same_font(gadget_get_font(b), serif15));
    // The default font reaches the screen: the label's context reads Serif 15.
    const PangoFontDescription* shown = nullptr;
    GtkStyleContext* context = gtk_widget_get_style_context(gadget_lookup(b)->main);
    gtk_style_context_get(context, GTK_STATE_FLAG_NORMAL, "font", &shown, nullptr);
    ASSERT_NE(shown, nullptr);
    EXPECT_STREQ(pango_font_description_get_family(shown), "Serif");
    EXPECT_EQ(pango_font_description_get_size(shown), 15 * 1024);
    pango_font_description_free(const_cast<PangoFontDescription*>(shown));
    pango_font_description_free(sans10);
    pango_font_description_free(serif15);

    gadget_set_font(-1, std::int64_t{-1});
    ObjectId c = probe_create(AUTO_NUMBER, 5, 55, 80, 20);
    EXPECT_EQ(g_object_get_data(G_OBJECT(gadget_lookup(c)->main), "tda_gadget_font"), nullptr);
}

TEST_F(Gadget, DestroyingTheWindowReleasesItsGadgets) {
    ObjectId a = probe_create(AUTO_NUMBER, 5, 5, 80, 20);
    probe_create(2, 5, 30, 80, 20);
    window_free(window);
    EXPECT_EQ(gadget_lookup(a), nullptr);
    EXPECT_EQ(gadget_lookup(2), nullptr);
    EXPECT_EQ(probe_frees, 2);
    // No current list now: creation makes nothing.
    EXPECT_EQ(probe_create(AUTO_NUMBER, 5, 5, 80, 20), 0);
    EXPECT_EQ(gadget_button_create(AUTO_NUMBER, 5, 5, 80, 20, u"x", 0), 0);
}

TEST_F(Gadget, ReleaseAllFreesEveryGadget) {
    ObjectId a = probe_create(AUTO_NUMBER, 5, 5, 80, 20);
    ObjectId b = probe_create(AUTO_NUMBER, 5, 30, 80, 20);
    probe_create(1, 5, 55, 80, 20);
    gadget_release(AUTO_NUMBER);
    EXPECT_EQ(gadget_lookup(a), nullptr);
    EXPECT_EQ(gadget_lookup(b), nullptr);
    EXPECT_EQ(gadget_lookup(1), nullptr);
    EXPECT_EQ(probe_frees, 3);
}

TEST_F(Gadget, ClickWhileCloseHeadsTheQueuePostsNothing) {
    ObjectId button = gadget_button_create(AUTO_NUMBER, 40, 40, 120, 40, u"push", 0);
    ASSERT_NE(button, 0);
    settle(200);
    GtkWidget* widget = gadget_lookup(button)->main;

    click_widget(widget);
    std::vector<TakenEvent> first = events_until(EVENT_GADGET, "the button's click", SUBTYPE_LEFT_CLICK);
    EXPECT_EQ(count_events(first, EVENT_GADGET, SUBTYPE_LEFT_CLICK), 1);

    settle(600);
    discard_events();
    event_post(EVENT_CLOSE, 0, window, 0);
    click_widget(widget);
    // The marker comes back after the click was handled: the second event in
    // the queue is either the click's (a fault) or the marker.
    ASSERT_TRUE(send_marker(widget));
    pump_until("the click or the marker behind the close", [] { return event_queue_length() >= 2; });
    ASSERT_EQ(event_peek_type(), EVENT_CLOSE);
    std::vector<TakenEvent> second = drain_events();
    EXPECT_EQ(count_events(second, EVENT_CLOSE), 1);
    EXPECT_EQ(count_events(second, EVENT_GADGET), 0);
}

TEST_F(Gadget, FocusHandlersPostFocusAndLostFocus) {
    GtkWidget* entry = gtk_entry_new();
    gtk_layout_put(GTK_LAYOUT(layout()), entry, 10, 10);
    GtkWidget* other = gtk_entry_new();
    gtk_layout_put(GTK_LAYOUT(layout()), other, 10, 60);
    gtk_widget_show(entry);
    gtk_widget_show(other);
    gadget_connect_focus_handlers(entry, 31);
    settle(100);
    discard_events();
    gtk_widget_grab_focus(entry);
    gtk_widget_grab_focus(other);
    GdkEvent* in = gdk_event_new(GDK_FOCUS_CHANGE);
    in->focus_change.in = TRUE;
    in->focus_change.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(entry)));
    gboolean handled = FALSE;
    g_signal_emit_by_name(entry, "focus-in-event", in, &handled);
    EXPECT_FALSE(handled);
    in->focus_change.in = FALSE;
    g_signal_emit_by_name(entry, "focus-out-event", in, &handled);
    EXPECT_FALSE(handled);
    gdk_event_free(in);
    std::vector<TakenEvent> events = drain_events();
    EXPECT_GE(count_events(events, EVENT_GADGET, SUBTYPE_FOCUS), 1);
    EXPECT_GE(count_events(events, EVENT_GADGET, SUBTYPE_LOST_FOCUS), 1);
    for (const TakenEvent& e : events) {
        if (e.type != EVENT_GADGET) continue;
        EXPECT_EQ(e.object, 31);
    }
}

} // namespace

namespace {

guint child_count(GtkWidget* container) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(container));
    guint n = g_list_length(children);
    g_list_free(children);
    return n;
}

} // namespace

// Every kind goes through the one creation path: each allocation it makes
// fails in turn until the creation succeeds, and a current list that is not
// a layout takes nothing. Each failure returns 0, places nothing and makes
// the toolkit complain about nothing.
TEST(GadgetCreation, EveryKindFailsCleanlyWithoutMemoryOrALayout) {
    ObjectId window = kinds_window_open(300, 200);
    GtkWidget* layout = gadget_current_list();
    ASSERT_NE(layout, nullptr);
    GdkPixbuf* pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 4);
    GtkWidget* vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    g_object_ref_sink(vbox);
    const struct {
        const char* kind;
        std::function<ObjectId()> create;
    } kinds[] = {
        {"text", [] { return gadget_text_create(AUTO_NUMBER, 5, 5, 50, 20, u"t", TEXT_FRAMED); }},
        {"button", [] { return gadget_button_create(AUTO_NUMBER, 5, 5, 50, 20, u"b"); }},
        {"combo", [] { return gadget_combo_create(AUTO_NUMBER, 5, 5, 50, 20, COMBO_EDITABLE); }},
        {"editor", [] { return gadget_editor_create(AUTO_NUMBER, 5, 5, 50, 20); }},
        {"calendar", [] { return gadget_calendar_create(AUTO_NUMBER, 5, 5, 50, 20); }},
        {"image", [&] { return gadget_image_create(AUTO_NUMBER, 5, 5, 4, 4, pixels, IMAGE_FRAME_SUNKEN); }},
    };
    for (const auto& k : kinds) {
        glib_complaints_reset();
        guint before = child_count(layout);
        ObjectId made = 0;
        int failures = 0;
        for (int successes = 0; successes < 16 && made == 0; ++successes) {
            {
                AllocationFailureScope no_memory(successes);
                made = k.create();
            }
            if (made == 0) {
                ++failures;
                EXPECT_EQ(child_count(layout), before) << k.kind << " after " << successes << " allocations";
            }
        }
        ASSERT_NE(made, 0) << k.kind << " is made once memory suffices";
        EXPECT_GE(failures, 1) << k.kind;
        EXPECT_EQ(child_count(layout), before + 1) << k.kind;

        void* previous = gadget_list_use(vbox);
        EXPECT_EQ(k.create(), 0) << k.kind << " in a list that is not a layout";
        gadget_list_use(previous);
        EXPECT_EQ(child_count(vbox), 0u) << k.kind;
        EXPECT_EQ(glib_complaints(), 0) << k.kind;
    }
    gtk_widget_destroy(vbox);
    g_object_unref(vbox);
    g_object_unref(pixels);
    window_free(window);
}
