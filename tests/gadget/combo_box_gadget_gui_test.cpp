// Combo box gadgets under a real X server: items, the program's selections,
// typing through the case filters and picking items with the mouse.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"
#include "support/test_support.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

using namespace tda_test;

namespace {

class ComboGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 400);
        discard_events();
    }
    void TearDown() override {
        window_free(window_);
        discard_events();
    }
    // The month combo box of the calculator: editable, items "1" to "12".
    ObjectId month_combo(std::int32_t flags = COMBO_EDITABLE) {
        ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 100, 30, flags);
        for (int i = 1; i <= 12; ++i) {
            std::u16string text = u16(std::to_string(i));
            gadget_add_item(id, -1, text.c_str());
        }
        return id;
    }
    GtkEntry* entry_of(ObjectId id) { return reinterpret_cast<GtkEntry*>(record_of(id)->data2); }
    ObjectId window_ = 0;
};

TEST_F(ComboGadget, NewComboHasNoSelection) {
    for (std::int32_t flags : {0, COMBO_EDITABLE}) {
        ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 100, 30, flags);
        ASSERT_NE(id, 0);
        EXPECT_EQ(gadget_kind(id), GADGET_KIND_COMBO);
        EXPECT_EQ(gadget_get_state(id), -1);
        EXPECT_EQ(gadget_text_of(id), u"");
        EXPECT_EQ((entry_of(id) != nullptr), flags == COMBO_EDITABLE);
        gadget_free(id);
    }
}

TEST_F(ComboGadget, ItemsGoWhereTheirPositionSays) {
    ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 100, 30);
    EXPECT_EQ(gadget_add_item(id, -1, u"b"), 1);
    EXPECT_EQ(gadget_add_item(id, -1, u"c"), 1);
    EXPECT_EQ(gadget_add_item(id, 0, u"a"), 1);
    EXPECT_EQ(gadget_add_item(id, 99, u"d"), 1);
    EXPECT_EQ(gadget_add_item(id, 2, u"b2"), 1);
    EXPECT_EQ(gadget_add_item(id, -5, nullptr), 1);
    const char16_t* expected[] = {u"a", u"b", u"b2", u"c", u"d", u""};
    GadgetRecord* g = record_of(id);
    ASSERT_EQ(g->ops->count_items(g), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(gadget_item_text_of(id, i), expected[i]) << i;
    }
    EXPECT_EQ(gadget_item_text_of(id, 6), u"");
    EXPECT_EQ(gadget_item_text_of(id, 0, 1), u""); // only text column 0 exists
}

TEST_F(ComboGadget, SetTextSelectsTheMatchingItemOrFillsTheEntry) {
    ObjectId id = month_combo();
    settle();
    discard_events();

    gadget_set_text(id, u"7");
    EXPECT_EQ(gadget_get_state(id), 6);
    EXPECT_EQ(gadget_text_of(id), u"7");
    EXPECT_TRUE(drain_gadget_events().empty());

    gadget_set_text(id, u"07");
    EXPECT_EQ(gadget_text_of(id), u"07");
    EXPECT_STREQ(gtk_entry_get_text(entry_of(id)), "07");
    EXPECT_TRUE(drain_gadget_events().empty());

    gadget_set_text(id, u"12");
    EXPECT_EQ(gadget_get_state(id), 11);
    EXPECT_EQ(gadget_text_of(id), u"12");
}

TEST_F(ComboGadget, NonEditableComboClearsTheSelectionForAnUnknownText) {
    ObjectId id = month_combo(0);
    gadget_set_text(id, u"3");
    EXPECT_EQ(gadget_get_state(id), 2);
    EXPECT_EQ(gadget_text_of(id), u"3");
    gadget_set_text(id, u"13");
    EXPECT_EQ(gadget_get_state(id), -1);
    EXPECT_EQ(gadget_text_of(id), u"");
    gadget_set_text(id, nullptr);
    EXPECT_EQ(gadget_get_state(id), -1);
}

TEST_F(ComboGadget, TypingIntoAnUpperCaseComboShowsUpperCase) {
    ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 150, 30, COMBO_EDITABLE | COMBO_UPPER_CASE);
    gadget_add_item(id, -1, u"abc");
    EXPECT_EQ(gadget_item_text_of(id, 0), u"ABC");
    settle();
    click_widget(GTK_WIDGET(entry_of(id)));
    xtest_type("abc");
    settle();
    EXPECT_STREQ(gtk_entry_get_text(entry_of(id)), "ABC");
    EXPECT_EQ(gadget_text_of(id), u"ABC");
    // The text a user sees on screen: the entry's layout.
    EXPECT_STREQ(pango_layout_get_text(gtk_entry_get_layout(entry_of(id))), "ABC");
}

TEST_F(ComboGadget, CaseFiltersConvertProgramAndTypedTexts) {
    struct Case {
        std::int32_t flags;
        const char* typed;
        const char16_t* added;
        const char* entry_after_typing;
        const char16_t* item_after_adding;
    };
    const std::string typed(FIELD_MAX_CHARS + 6, 'a'), shown(FIELD_MAX_CHARS, 'A');
    const Case cases[] = {
        {COMBO_EDITABLE | COMBO_LOWER_CASE, "Hello World", u"MiXeD 1", "hello world", u"mixed 1"},
        {COMBO_EDITABLE | COMBO_UPPER_CASE, typed.c_str(), u"x", shown.c_str(), u"X"}, // up to the limit
        {COMBO_EDITABLE | COMBO_UPPER_CASE, "Hello World", u"MiXeD 1", "HELLO WORLD", u"MIXED 1"},
        // With both, typed text ends in upper case, program text in lower case.
        {COMBO_EDITABLE | COMBO_LOWER_CASE | COMBO_UPPER_CASE, "Hello", u"MiXeD", "HELLO", u"mixed"},
        {COMBO_EDITABLE, "Hello", u"MiXeD ä", "Hello", u"MiXeD ä"},
        {COMBO_EDITABLE | COMBO_UPPER_CASE, "x", u"äöü straße", "X", u"äöü STRAßE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 200, 30, c.flags);
        gadget_add_item(id, -1, c.added);
        EXPECT_EQ(gadget_item_text_of(id, 0), c.item_after_adding);
        settle();
        click_widget(GTK_WIDGET(entry_of(id)));
        xtest_type(c.typed);
        settle();
        EXPECT_STREQ(gtk_entry_get_text(entry_of(id)), c.entry_after_typing);
        gadget_free(id);
    }
}

TEST_F(ComboGadget, SetTextMatchesTheCaseConvertedText) {
    ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 150, 30, COMBO_UPPER_CASE);
    gadget_add_item(id, -1, u"one");
    gadget_add_item(id, -1, u"two");
    gadget_set_text(id, u"Two");
    EXPECT_EQ(gadget_get_state(id), 1);
    EXPECT_EQ(gadget_text_of(id), u"TWO");
}

// The menu the combo box pops up, found through its accessible.
GtkWidget* popup_menu_of(GtkWidget* combo) {
    AtkObject* accessible = gtk_combo_box_get_popup_accessible(GTK_COMBO_BOX(combo));
    if (accessible == nullptr || !GTK_IS_ACCESSIBLE(accessible)) {
        return nullptr;
    }
    return gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
}

TEST_F(ComboGadget, PickingAnItemWithTheMousePostsExactlyOneChange) {
    for (std::int32_t flags : {0, COMBO_EDITABLE}) {
        SCOPED_TRACE(flags);
        ObjectId id = month_combo(flags);
        gadget_set_text(id, u"2");
        settle();
        discard_events();

        GtkWidget* combo = main_of(id);
        GtkWidget* target = combo;
        if (flags == COMBO_EDITABLE) {
            // The arrow button beside the entry opens the list.
            GtkAllocation a;
            gtk_widget_get_allocation(combo, &a);
            int x = 0;
            int y = 0;
            ASSERT_TRUE(widget_screen_origin(combo, &x, &y));
            xtest_click(x + a.width - 8, y + a.height / 2);
        } else {
            click_widget(target);
        }
        GtkWidget* menu = nullptr;
        ASSERT_TRUE(pump_until("the combo's list to pop up", [&] {
            menu = popup_menu_of(combo);
            return menu != nullptr && gtk_widget_get_mapped(menu);
        }));
        settle(300);
        GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
        ASSERT_GE(g_list_length(items), 12u);
        GtkWidget* item = GTK_WIDGET(g_list_nth_data(items, 4)); // "5"
        g_list_free(items);
        discard_events();
        click_widget(item);
        pump_until("the combo's list to close", [&] { return !gtk_widget_get_mapped(menu); });
        settle();

        std::vector<TakenEvent> events = drain_gadget_events();
        EXPECT_EQ(count_events(events, EVENT_GADGET, SUBTYPE_CHANGE), 1);
        for (const TakenEvent& e : events) {
            if (e.subtype == SUBTYPE_CHANGE) {
                EXPECT_EQ(e.object, id);
                EXPECT_EQ(e.window, window_);
            }
        }
        EXPECT_EQ(gadget_get_state(id), 4);
        EXPECT_EQ(gadget_text_of(id), u"5");
        gadget_free(id);
        settle();
    }
}

TEST_F(ComboGadget, ListWhoseGrabFailsSwallowsNoInput) {
    // Another client holds the pointer: the list cannot grab it and stays
    // shut, but the toolkit grabs for it all the same.
    ObjectId id = month_combo();
    settle();
    GdkDisplay* other = gdk_display_open(gdk_display_get_name(gdk_display_get_default()));
    GtkWidget* holder = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_screen(GTK_WINDOW(holder), gdk_display_get_default_screen(other));
    gtk_widget_show(holder);
    ASSERT_EQ(gdk_seat_grab(gdk_display_get_default_seat(other), gtk_widget_get_window(holder),
                            GDK_SEAT_CAPABILITY_POINTER, FALSE, nullptr, nullptr, nullptr, nullptr),
              GDK_GRAB_SUCCESS);
    glib_complaints_reset();
    gtk_combo_box_popup(GTK_COMBO_BOX(main_of(id)));
    EXPECT_EQ(glib_complaints(), 1) << "no grab for the shut list (the toolkit's critical is the marker)";
    gtk_widget_destroy(holder); // and with it the grab
    gdk_display_flush(other);
    click_widget(GTK_WIDGET(entry_of(id)));
    xtest_type("9");
    settle();
    EXPECT_STREQ(gtk_entry_get_text(entry_of(id)), "9");
}

TEST_F(ComboGadget, EntryFocusPostsFocusEvents) {
    ObjectId first = gadget_combo_create(AUTO_NUMBER, 20, 20, 150, 30, COMBO_EDITABLE);
    ObjectId second = gadget_combo_create(AUTO_NUMBER, 20, 80, 150, 30, COMBO_EDITABLE);
    settle();
    click_widget(GTK_WIDGET(entry_of(first)));
    std::vector<TakenEvent> events = drain_gadget_events();
    EXPECT_EQ(count_events(events, EVENT_GADGET, SUBTYPE_FOCUS), 1);
    click_widget(GTK_WIDGET(entry_of(second)));
    events = drain_gadget_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].object, first);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LOST_FOCUS);
    EXPECT_EQ(events[1].object, second);
    EXPECT_EQ(events[1].subtype, SUBTYPE_FOCUS);
    xtest_key("Return");
    EXPECT_TRUE(drain_gadget_events().empty()); // Return in the entry posts nothing
}

TEST_F(ComboGadget, ItemOperationsOfTheKind) {
    ObjectId id = month_combo(COMBO_EDITABLE | COMBO_LOWER_CASE);
    GadgetRecord* g = record_of(id);
    EXPECT_EQ(g->ops->count_items(g), 12);

    g->ops->remove_item(g, 0);
    g->ops->remove_item(g, 40);
    g->ops->remove_item(g, -1);
    EXPECT_EQ(g->ops->count_items(g), 11);
    EXPECT_EQ(gadget_item_text_of(id, 0), u"2");

    g->ops->set_item_text(g, 0, "TWO", 0);
    EXPECT_EQ(gadget_item_text_of(id, 0), u"two");
    g->ops->set_item_text(g, 0, "other", 1);
    EXPECT_EQ(gadget_item_text_of(id, 0), u"two");

    EXPECT_EQ(g->ops->get_item_data(g, 3), 0);
    g->ops->set_item_data(g, 3, 123456789);
    EXPECT_EQ(g->ops->get_item_data(g, 3), 123456789);
    EXPECT_EQ(g->ops->get_item_data(g, 30), 0);

    g->ops->set_state(g, 2);
    EXPECT_EQ(gadget_get_state(id), 2);
    g->ops->set_state(g, -1);
    EXPECT_EQ(gadget_get_state(id), -1);

    gadget_set_text(id, u"typed");
    g->ops->clear_items(g);
    EXPECT_EQ(g->ops->count_items(g), 0);
    EXPECT_EQ(gadget_text_of(id), u"");
}

TEST_F(ComboGadget, ItemImagesNeedTheImagesFlag) {
    GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 4);
    ASSERT_NE(image, nullptr);
    for (std::int32_t flags : {0, COMBO_IMAGES}) {
        ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 150, 30, flags);
        gadget_add_item(id, -1, u"plain");
        GadgetRecord* g = record_of(id);
        g->ops->add_item(g, -1, "with image", image);
        g->ops->set_item_image(g, 0, image);
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(g->main));
        for (int n = 0; n < 2; ++n) {
            GtkTreeIter iter;
            ASSERT_TRUE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, n));
            GdkPixbuf* stored = nullptr;
            gtk_tree_model_get(model, &iter, 2, &stored, -1);
            EXPECT_EQ(stored, flags == COMBO_IMAGES ? image : nullptr) << flags << " " << n;
            if (stored != nullptr) {
                g_object_unref(stored);
            }
        }
        gadget_free(id);
    }
    g_object_unref(image);
}

TEST_F(ComboGadget, FontGoesToComboRendererAndEntry) {
    ObjectId id = gadget_combo_create(AUTO_NUMBER, 20, 20, 150, 30, COMBO_EDITABLE);
    PangoFontDescription* font = pango_font_description_from_string("Sans 13");
    gadget_set_font(id, font);
    GadgetRecord* g = record_of(id);
    EXPECT_TRUE(same_font(gadget_get_font(id), font));
    EXPECT_TRUE(same_font(g_object_get_data(G_OBJECT(entry_of(id)), "tda_gadget_font"), font));
    PangoFontDescription* cell_font = nullptr;
    g_object_get(G_OBJECT(reinterpret_cast<GtkCellRenderer*>(g->data4)), "font-desc", &cell_font, nullptr);
    ASSERT_NE(cell_font, nullptr);
    EXPECT_TRUE(pango_font_description_equal(cell_font, font));
    pango_font_description_free(cell_font);
    gadget_free(id);
    pango_font_description_free(font);
}

TEST_F(ComboGadget, NumberedComboIsReplacedCleanly) {
    ObjectId first = gadget_combo_create(3, 20, 20, 100, 30, COMBO_EDITABLE);
    ASSERT_EQ(first, reinterpret_cast<std::intptr_t>(main_of(3)));
    gadget_add_item(3, -1, u"x");
    ObjectId second = gadget_combo_create(3, 20, 80, 100, 30);
    EXPECT_NE(second, first);
    GadgetRecord* g = record_of(3);
    EXPECT_EQ(g->ops->count_items(g), 0);
    EXPECT_EQ(g->data2, 0);
}

} // namespace
