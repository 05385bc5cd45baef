// Editor gadgets under a real X server: typing through XTest, lines as items,
// attributes and colours as they appear on screen.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_access.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace tda_test;

namespace {

class EditorGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 300);
        discard_events();
    }
    void TearDown() override {
        window_free(window_);
        discard_events();
    }
    // An editor holding `text`, set by the program.
    ObjectId editor_with(const char16_t* text, std::int32_t flags = 0) {
        ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 80, flags);
        gadget_set_text(id, text);
        return id;
    }
    ObjectId window_ = 0;
};

TEST_F(EditorGadget, KeepsTheRequestedSizeEvenWhenShort) {
    // The calculator's one-line fields are 30 and 35 pixels tall.
    for (int height : {30, 35, 80}) {
        ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 100, height, 0);
        gadget_set_text(id, u"2024");
        settle(100);
        GtkWidget* scroller = gtk_widget_get_parent(gadget_lookup(id)->main);
        GtkAllocation a;
        gtk_widget_get_allocation(scroller, &a);
        EXPECT_EQ(a.width, 100) << "height " << height;
        EXPECT_EQ(a.height, height);
        gadget_free(id);
    }
}

TEST_F(EditorGadget, TypingPostsChangeButSetTextAndAddItemDoNot) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 40);
    ASSERT_NE(id, 0);
    settle();
    discard_events();

    gadget_set_text(id, u"12");
    gadget_add_item(id, -1, u"34");
    EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_CHANGE), 0);
    gadget_set_text(id, u"");

    click_widget(main_of(id));
    std::vector<TakenEvent> focus = drain_gadget_events();
    EXPECT_EQ(count_events(focus, EVENT_GADGET, SUBTYPE_FOCUS), 1);
    EXPECT_EQ(count_events(focus, EVENT_GADGET, SUBTYPE_CHANGE), 0);

    for (const char* key : {"1", "0", "a"}) {
        xtest_key(key);
        std::vector<TakenEvent> events = drain_gadget_events();
        ASSERT_EQ(count_events(events, EVENT_GADGET, SUBTYPE_CHANGE), 1) << key;
        for (const TakenEvent& e : events) {
            EXPECT_EQ(e.object, id);
            EXPECT_EQ(e.window, window_);
        }
    }
    EXPECT_EQ(gadget_text_of(id), u"10a");
}

TEST_F(EditorGadget, TypedWordPostsChangesOnlyForThatEditor) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 40);
    ObjectId other = gadget_editor_create(AUTO_NUMBER, 10, 100, 200, 40);
    settle();
    click_widget(main_of(id));
    discard_events();
    xtest_type("abc");
    std::vector<TakenEvent> events = drain_gadget_events();
    // One per keystroke, fewer when equal changes meet at the queue's tail.
    const int changes = count_events(events, EVENT_GADGET, SUBTYPE_CHANGE);
    EXPECT_GE(changes, 1);
    EXPECT_LE(changes, 3);
    for (const TakenEvent& e : events) {
        EXPECT_EQ(e.object, id);
    }
    EXPECT_EQ(gadget_text_of(id), u"abc");
    EXPECT_EQ(gadget_text_of(other), u"");
}

TEST_F(EditorGadget, ClickElsewherePostsLostFocus) {
    ObjectId first = gadget_editor_create(AUTO_NUMBER, 10, 10, 150, 40);
    ObjectId second = gadget_editor_create(AUTO_NUMBER, 10, 100, 150, 40);
    settle();
    click_widget(main_of(first));
    discard_events();
    click_widget(main_of(second));
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].object, first);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LOST_FOCUS);
    EXPECT_EQ(events[1].object, second);
    EXPECT_EQ(events[1].subtype, SUBTYPE_FOCUS);
}

TEST_F(EditorGadget, AddItemPlacesLinesAsDescribed) {
    struct Case {
        const char16_t* start;
        std::int64_t position;
        const char16_t* text;
        const char16_t* result;
    };
    const Case cases[] = {
        {u"", -1, u"year", u"year"},
        {u"", 5, u"x", u"x"},
        {u"a", 0, u"x", u"x\na"},
        {u"a", 1, u"x", u"a\nx"},
        {u"a", -1, u"x", u"a\nx"},
        {u"a\nb", 0, u"x", u"x\na\nb"},
        {u"a\nb", 1, u"x", u"a\nb\nx"},
        {u"a\nb\nc", 1, u"x", u"a\nx\nb\nc"},
        {u"a\nb\nc", 2, u"x", u"a\nb\nc\nx"},
        {u"a\nb", -7, u"x", u"a\nb\nx"},
        {u"a", 0, u"", u"\na"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.position);
        ObjectId id = editor_with(c.start);
        EXPECT_EQ(gadget_add_item(id, c.position, c.text), 0);
        EXPECT_EQ(gadget_text_of(id), c.result);
        gadget_free(id);
    }
}

TEST_F(EditorGadget, AddingThreeLinesToAnEmptyEditorJoinsThemWithBreaks) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 80);
    for (const char16_t* line : {u"a", u"b", u"c"}) {
        gadget_add_item(id, -1, line);
    }
    EXPECT_EQ(gadget_text_of(id), u"a\nb\nc");
}

TEST_F(EditorGadget, LinesAreItems) {
    ObjectId id = editor_with(u"one\ntwo\nthree");
    GadgetRecord* g = record_of(id);
    EXPECT_EQ(g->ops->count_items(g), 3);
    EXPECT_EQ(gadget_item_text_of(id, 0), u"one");
    EXPECT_EQ(gadget_item_text_of(id, 2), u"three");
    EXPECT_EQ(gadget_item_text_of(id, 3), u"");
    EXPECT_EQ(gadget_item_text_of(id, -1), u"");

    g->ops->set_item_text(g, 1, "TWO", 0);
    EXPECT_EQ(gadget_text_of(id), u"one\nTWO\nthree");
    g->ops->set_item_text(g, 3, "nothing", 0);
    EXPECT_EQ(gadget_text_of(id), u"one\nTWO\nthree");

    g->ops->remove_item(g, 1);
    EXPECT_EQ(gadget_text_of(id), u"one\nthree");
    g->ops->remove_item(g, 1); // last line: the break before it goes too
    EXPECT_EQ(gadget_text_of(id), u"one");
    g->ops->remove_item(g, 5);
    EXPECT_EQ(gadget_text_of(id), u"one");
    g->ops->remove_item(g, 0);
    EXPECT_EQ(gadget_text_of(id), u"");
    EXPECT_EQ(g->ops->count_items(g), 0);

    gadget_set_text(id, u"x\n\ny");
    EXPECT_EQ(g->ops->count_items(g), 3);
    EXPECT_EQ(gadget_item_text_of(id, 1), u"");
    g->ops->remove_item(g, 0);
    EXPECT_EQ(gadget_text_of(id), u"\ny");
    g->ops->clear_items(g);
    EXPECT_EQ(gadget_text_of(id), u"");
}

TEST_F(EditorGadget, ReadOnlyRejectsTypingButTakesProgramText) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 40, EDITOR_READ_ONLY);
    GadgetRecord* g = record_of(id);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_READ_ONLY), 1);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_WORD_WRAP), 0);
    EXPECT_EQ(g->ops->get_attribute(g, 7), 0);
    settle();
    click_widget(main_of(id));
    xtest_type("abc");
    EXPECT_EQ(gadget_text_of(id), u"");
    EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_CHANGE), 0);

    gadget_set_text(id, u"set");
    gadget_add_item(id, -1, u"added");
    EXPECT_EQ(gadget_text_of(id), u"set\nadded");

    g->ops->set_attribute(g, EDITOR_READ_ONLY, 0);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_READ_ONLY), 0);
    gadget_set_text(id, u"");
    click_widget(main_of(id));
    xtest_type("ok");
    EXPECT_EQ(gadget_text_of(id), u"ok");
}

// The program's calls for a field: single-line keeps the first line, quietly;
// read-only can be taken back; a focused field with a ring shows it.
TEST_F(EditorGadget, SingleLineReadOnlyAndFocusRingCalls) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 40);
    ObjectId ringed = gadget_editor_create(AUTO_NUMBER, 10, 60, 200, 40);
    gadget_set_text(id, u"first\nsecond");
    gadget_editor_set_single_line(id);
    gadget_editor_set_read_only(id, true);
    EXPECT_EQ(gadget_text_of(id), u"first");
    EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_CHANGE), 0);
    GadgetRecord* g = record_of(id);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_SINGLE_LINE), 1);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_READ_ONLY), 1);
    gadget_editor_set_read_only(id, false);
    EXPECT_EQ(g->ops->get_attribute(g, EDITOR_READ_ONLY), 0);

    gadget_set_focus_ring(ringed);
    auto focused_right_edge = [](ObjectId editor) { // away from the caret
        gadget_set_focus(editor);
        settle();
        GtkWidget* view = main_of(editor);
        return widget_pixel(view, gtk_widget_get_allocated_width(view) - 2, gtk_widget_get_allocated_height(view) / 2);
    };
    const Rgb plain = focused_right_edge(id), ring = focused_right_edge(ringed);
    EXPECT_GT(std::abs(plain.red - ring.red) + std::abs(plain.green - ring.green) + std::abs(plain.blue - ring.blue),
              60);
}

TEST_F(EditorGadget, WordWrapDecidesBetweenWrappingAndScrolling) {
    const char16_t* long_line = u"many words that go on and on well beyond the width of this little editor";
    ObjectId plain = gadget_editor_create(AUTO_NUMBER, 10, 10, 150, 80);
    ObjectId wrapped = gadget_editor_create(AUTO_NUMBER, 10, 100, 150, 80, EDITOR_WORD_WRAP);
    gadget_set_text(plain, long_line);
    gadget_set_text(wrapped, long_line);
    settle(300);
    GadgetRecord* p = record_of(plain);
    GadgetRecord* w = record_of(wrapped);
    EXPECT_EQ(w->ops->get_attribute(w, EDITOR_WORD_WRAP), 1);
    EXPECT_EQ(gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(w->main)), GTK_WRAP_WORD);
    EXPECT_EQ(gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(p->main)), GTK_WRAP_NONE);
    GtkWidget* plain_bar = gtk_scrolled_window_get_hscrollbar(GTK_SCROLLED_WINDOW(p->outer));
    GtkWidget* wrapped_bar = gtk_scrolled_window_get_hscrollbar(GTK_SCROLLED_WINDOW(w->outer));
    EXPECT_TRUE(gtk_widget_get_child_visible(plain_bar));
    EXPECT_FALSE(gtk_widget_get_child_visible(wrapped_bar));

    p->ops->set_attribute(p, EDITOR_WORD_WRAP, 1);
    EXPECT_EQ(p->ops->get_attribute(p, EDITOR_WORD_WRAP), 1);
    p->ops->set_attribute(p, EDITOR_WORD_WRAP, 0);
    EXPECT_EQ(p->ops->get_attribute(p, EDITOR_WORD_WRAP), 0);
}

TEST_F(EditorGadget, FrontColourShowsInTheText) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 300, 60);
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold 28");
    gadget_set_font(id, font);
    gadget_set_text(id, u"MMMMMM");
    settle();
    EXPECT_FALSE(widget_shows_colour(main_of(id), 255, 0, 0, 2, 40));

    gadget_set_color(id, COLOR_FRONT, rgb(255, 0, 0));
    settle();
    EXPECT_EQ(gadget_get_color(id, COLOR_FRONT), rgb(255, 0, 0));
    EXPECT_TRUE(widget_shows_colour(main_of(id), 255, 0, 0, 2, 40));

    gadget_set_color(id, COLOR_FRONT, COLOR_DEFAULT);
    settle();
    EXPECT_FALSE(widget_shows_colour(main_of(id), 255, 0, 0, 2, 40));
    gadget_free(id);
    pango_font_description_free(font);
}

TEST_F(EditorGadget, BackColourShowsBehindTheText) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 60);
    settle();
    gadget_set_color(id, COLOR_BACK, rgb(20, 160, 90));
    settle();
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), rgb(20, 160, 90));
    const Rgb inside = widget_pixel(main_of(id), 150, 40);
    EXPECT_NEAR(inside.red, 20, 2);
    EXPECT_NEAR(inside.green, 160, 2);
    EXPECT_NEAR(inside.blue, 90, 2);
}

TEST_F(EditorGadget, SingleLineTakesOneLineOfAtMostTheLimit) {
    ObjectId id = editor_with(u"a\u2028b");
    GadgetRecord* g = record_of(id);
    g->ops->set_attribute(g, EDITOR_SINGLE_LINE, 1);
    EXPECT_EQ(gadget_text_of(id), u"a"); // the present text is cut as well
    const std::u16string x(FIELD_MAX_CHARS - 2, u'x');
    const char16_t* cases[][2] = {{u"1\n2", u"1"},     {u"1\r2", u"1"},     {u"1\v2", u"1"},
                                  {u"1\f2", u"1"},     {u"1\u00852", u"1"}, {u"1\u20282", u"1"},
                                  {u"1\u20292", u"1"}, {u"123", u"12"},     {u"1\u0301\u0301", u"1\u0301"}};
    for (auto [put, kept] : cases) {
        gadget_set_text(id, (x + put).c_str());
        EXPECT_EQ(gadget_text_of(id), x + kept);
    }
}

TEST_F(EditorGadget, CloseRequestAtTheHeadHoldsBackTypedChanges) {
    ObjectId id = gadget_editor_create(AUTO_NUMBER, 10, 10, 200, 40);
    settle();
    click_widget(main_of(id));
    discard_events();
    event_post(EVENT_CLOSE, 0, window_, 0);
    xtest_key("z");
    std::vector<TakenEvent> events = drain_events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].type, EVENT_CLOSE);
    EXPECT_EQ(count_events(events, EVENT_GADGET), 0);
    EXPECT_EQ(gadget_text_of(id), u"z");
}

} // namespace
