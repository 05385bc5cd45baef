// Button gadgets under a real X server: clicks delivered through XTest.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace tda_test;

namespace {

class ButtonGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 200);
        discard_events();
    }
    void TearDown() override {
        window_free(window_);
        discard_events();
    }
    ObjectId window_ = 0;
};

TEST_F(ButtonGadget, ClickPostsOneLeftClickForTheButtonAndItsWindow) {
    ObjectId id = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, u"push");
    ASSERT_NE(id, 0);
    ASSERT_NE(id, -1);
    settle();
    discard_events();

    click_widget(main_of(id));
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EVENT_GADGET);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LEFT_CLICK);
    EXPECT_EQ(events[0].object, id);
    EXPECT_EQ(events[0].window, window_);
}

TEST_F(ButtonGadget, NumberedButtonReturnsItsWidgetAndPostsItsNumber) {
    ObjectId result = gadget_button_create(0, 20, 20, 100, 40, u"zero", 8);
    ASSERT_NE(result, 0);
    EXPECT_EQ(result, reinterpret_cast<std::intptr_t>(main_of(0)));
    settle();
    discard_events();

    click_widget(main_of(0));
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].object, 0);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LEFT_CLICK);
}

TEST_F(ButtonGadget, ClickWhileCloseRequestHeadsQueuePostsNothing) {
    ObjectId id = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, u"push");
    settle();
    discard_events();
    event_post(EVENT_CLOSE, 0, window_, 0);

    click_widget(main_of(id));
    std::vector<TakenEvent> events = drain_events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].type, EVENT_CLOSE);
    EXPECT_EQ(count_events(events, EVENT_GADGET), 0);

    click_widget(main_of(id)); // with the queue empty again, clicks count
    EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_LEFT_CLICK), 1);
}

TEST_F(ButtonGadget, ToggleStateAlternatesAndEveryClickPosts) {
    ObjectId toggle = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, u"toggle", BUTTON_TOGGLE);
    ObjectId plain = gadget_button_create(AUTO_NUMBER, 140, 20, 100, 40, u"plain");
    settle();
    discard_events();
    EXPECT_EQ(gadget_get_state(toggle), 0);

    const std::int64_t expected[] = {1, 0, 1};
    for (std::int64_t state : expected) {
        click_widget(main_of(toggle));
        EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_LEFT_CLICK), 1);
        EXPECT_EQ(gadget_get_state(toggle), state);

        click_widget(main_of(plain));
        EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_LEFT_CLICK), 1);
        EXPECT_EQ(gadget_get_state(plain), 0);
    }
    gadget_set_state(toggle, 0);
    EXPECT_EQ(gadget_get_state(toggle), 0);
    EXPECT_TRUE(drain_gadget_events().empty()); // the program's own change posts nothing
}

TEST_F(ButtonGadget, TextReadsBackExactlyAsSet) {
    ObjectId id = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, nullptr);
    EXPECT_EQ(gadget_text_of(id), u"");
    const char16_t* texts[] = {u"push", u"", u"\u3000日付入力", u"two\nlines"};
    for (const char16_t* text : texts) {
        gadget_set_text(id, text);
        EXPECT_EQ(gadget_text_of(id), text);
    }
    gadget_set_text(id, nullptr);
    EXPECT_EQ(gadget_text_of(id), u"");
    EXPECT_EQ(gadget_kind(id), GADGET_KIND_BUTTON);
}

TEST_F(ButtonGadget, FlagsSetCaptionAlignmentWrapAndKind) {
    struct Case {
        std::int32_t flags;
        float xalign;
        bool wraps;
        bool toggle;
    };
    const Case cases[] = {
        {0, 0.5f, false, false}, {1, 1.0f, false, false}, {2, 0.0f, false, false}, {3, 1.0f, false, false},
        {4, 0.5f, false, true},  {8, 0.5f, false, false}, {16, 0.5f, true, false}, {16 + 2, 0.0f, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ObjectId id = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, u"caption", c.flags);
        GtkWidget* button = main_of(id);
        GtkWidget* caption = gtk_bin_get_child(GTK_BIN(button));
        ASSERT_TRUE(GTK_IS_LABEL(caption));
        float xalign = -1;
        float yalign = -1;
        gtk_misc_get_alignment(GTK_MISC(caption), &xalign, &yalign);
        EXPECT_FLOAT_EQ(xalign, c.xalign);
        EXPECT_FLOAT_EQ(yalign, 0.5f);
        EXPECT_EQ(gtk_label_get_line_wrap(GTK_LABEL(caption)) != FALSE, c.wraps);
        EXPECT_EQ(GTK_IS_TOGGLE_BUTTON(button) != FALSE, c.toggle);
        gadget_free(id);
    }
}

TEST_F(ButtonGadget, FontIsStoredOnTheButton) {
    ObjectId id = gadget_button_create(AUTO_NUMBER, 20, 20, 100, 40, u"font");
    PangoFontDescription* font = pango_font_description_from_string("Sans 14");
    gadget_set_font(id, font);
    EXPECT_TRUE(same_font(gadget_get_font(id), font));
    EXPECT_TRUE(same_font(g_object_get_data(G_OBJECT(main_of(id)), "tda_gadget_font"), font));
    gadget_free(id);
    pango_font_description_free(font);
}

} // namespace
