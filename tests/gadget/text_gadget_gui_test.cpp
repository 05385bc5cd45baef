// Text gadgets under a real X server: texts, alignment, wrapping and the
// colours as they appear on screen.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace tda_test;

namespace {

class TextGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 300);
        discard_events();
    }
    void TearDown() override {
        window_free(window_);
        discard_events();
    }
    ObjectId window_ = 0;
};

TEST_F(TextGadget, TextReadsBackExactlyAsSetIncludingEmpty) {
    ObjectId id = gadget_text_create(AUTO_NUMBER, 10, 10, 200, 25, u"days after", TEXT_ALIGN_RIGHT);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, -1);
    EXPECT_EQ(gadget_kind(id), GADGET_KIND_TEXT);
    EXPECT_EQ(gadget_text_of(id), u"days after");
    const char16_t* texts[] = {u"", u"=", u"valid period: 1970-01-01 <--> 2038-01-19", u"\u3000日付", u"a\nb"};
    for (const char16_t* text : texts) {
        gadget_set_text(id, text);
        EXPECT_EQ(gadget_text_of(id), text);
    }
    ObjectId empty = gadget_text_create(AUTO_NUMBER, 10, 40, 200, 25, nullptr);
    EXPECT_EQ(gadget_text_of(empty), u"");
    EXPECT_EQ(gadget_get_state(id), 0); // the kind has no state
}

TEST_F(TextGadget, FlagsSetAlignmentAndFrame) {
    struct Case {
        std::int32_t flags;
        float xalign;
        bool framed;
    };
    const Case cases[] = {{0, 0.0f, false}, {1, 1.0f, false}, {2, 0.5f, false}, {3, 1.0f, false},
                          {4, 0.0f, true},  {6, 0.5f, true},  {8, 0.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ObjectId id = gadget_text_create(AUTO_NUMBER, 10, 10, 200, 25, u"x", c.flags);
        GtkWidget* label = main_of(id);
        float xalign = -1;
        float yalign = -1;
        gtk_misc_get_alignment(GTK_MISC(label), &xalign, &yalign);
        EXPECT_FLOAT_EQ(xalign, c.xalign);
        EXPECT_FLOAT_EQ(yalign, 0.0f);
        EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(label)));
        GtkWidget* parent = gtk_widget_get_parent(label);
        EXPECT_EQ(GTK_IS_FRAME(parent) != FALSE, c.framed);
        if (c.framed) {
            EXPECT_EQ(gtk_frame_get_shadow_type(GTK_FRAME(parent)), GTK_SHADOW_IN);
            parent = gtk_widget_get_parent(parent);
        }
        EXPECT_TRUE(GTK_IS_EVENT_BOX(parent));
        EXPECT_TRUE(GTK_IS_BOX(gtk_widget_get_parent(parent)));
        gadget_free(id);
    }
}

TEST_F(TextGadget, LongTextWrapsInsideTheGivenWidth) {
    ObjectId id = gadget_text_create(AUTO_NUMBER, 10, 10, 120, 200,
                                     u"a long caption that cannot possibly fit on one line of this width");
    settle();
    GtkAllocation a;
    gtk_widget_get_allocation(main_of(id), &a);
    EXPECT_LE(a.width, 120);
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(main_of(id)));
    EXPECT_GT(pango_layout_get_line_count(layout), 1);
}

TEST_F(TextGadget, BackColourShowsOnScreenAndDefaultLetsTheWindowShowThrough) {
    ObjectId id = gadget_text_create(AUTO_NUMBER, 40, 40, 160, 40, u"", 0);
    GadgetRecord* g = record_of(id);
    GtkWidget* box = reinterpret_cast<GtkWidget*>(g->data4);
    settle();
    const Rgb before = widget_pixel(box, 80, 20);

    gadget_set_color(id, COLOR_BACK, rgb(200, 30, 40));
    settle();
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), rgb(200, 30, 40));
    const Rgb shown = widget_pixel(box, 80, 20);
    EXPECT_NEAR(shown.red, 200, 2);
    EXPECT_NEAR(shown.green, 30, 2);
    EXPECT_NEAR(shown.blue, 40, 2);

    gadget_set_color(id, COLOR_BACK, COLOR_DEFAULT);
    settle();
    EXPECT_EQ(gadget_get_color(id, COLOR_BACK), COLOR_DEFAULT);
    const Rgb after = widget_pixel(box, 80, 20);
    EXPECT_EQ(after.red, before.red);
    EXPECT_EQ(after.green, before.green);
    EXPECT_EQ(after.blue, before.blue);
}

TEST_F(TextGadget, BackColourOnTheWindowColourShowsTheWindowColour) {
    window_set_color(window_, rgb(188, 216, 215));
    ObjectId id = gadget_text_create(AUTO_NUMBER, 40, 40, 160, 40, u"days after", TEXT_ALIGN_RIGHT);
    gadget_set_color(id, COLOR_FRONT, rgb(70, 70, 70));
    gadget_set_color(id, COLOR_BACK, rgb(188, 216, 215));
    settle();
    const Rgb corner = widget_pixel(reinterpret_cast<GtkWidget*>(record_of(id)->data4), 3, 36);
    EXPECT_NEAR(corner.red, 188, 2);
    EXPECT_NEAR(corner.green, 216, 2);
    EXPECT_NEAR(corner.blue, 215, 2);
}

TEST_F(TextGadget, FrontColourShowsInTheText) {
    ObjectId id = gadget_text_create(AUTO_NUMBER, 40, 40, 300, 60, u"MMMMMMMM", 0);
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold 28");
    gadget_set_font(id, font);
    settle();
    EXPECT_FALSE(widget_shows_colour(main_of(id), 255, 0, 0, 0, 40));

    gadget_set_color(id, COLOR_FRONT, rgb(255, 0, 0));
    settle();
    EXPECT_EQ(gadget_get_color(id, COLOR_FRONT), rgb(255, 0, 0));
    EXPECT_TRUE(widget_shows_colour(main_of(id), 255, 0, 0, 0, 40));

    gadget_set_color(id, 3, rgb(0, 0, 255)); // unknown selector: nothing changes
    EXPECT_EQ(gadget_get_color(id, 3), COLOR_DEFAULT);
    EXPECT_EQ(gadget_get_color(id, COLOR_FRONT), rgb(255, 0, 0));
    gadget_free(id);
    pango_font_description_free(font);
}

} // namespace
