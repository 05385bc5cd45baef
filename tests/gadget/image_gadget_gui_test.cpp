// Image gadgets under a real X server: the picture on screen, clicks, double
// clicks and drags delivered through XTest.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_access.h"
#include "runtime/gadget/image_gadget.h"
#include "runtime/image/image.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace tda_test;

namespace {

// A plain BMP of one colour, loaded as an image object.
ObjectId load_colour_image(const std::string& name, int w, int h, std::uint32_t colour) {
    image_library_start();
    BmpLayout s;
    s.width = w;
    s.height = h;
    s.bits = 24;
    s.pixel_data = bmp_pack_rows(
        w, 24,
        std::vector<std::vector<std::uint32_t>>(std::size_t(h), std::vector<std::uint32_t>(std::size_t(w), colour)));
    return image_load(AUTO_NUMBER, u16(write_temp_file(bmp_bytes(s), name)).c_str());
}

std::vector<std::int64_t> subtypes(const std::vector<TakenEvent>& events) {
    std::vector<std::int64_t> out;
    for (const TakenEvent& e : events)
        out.push_back(e.subtype);
    return out;
}

class ImageGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 300);
        image_ = load_colour_image("gadget.bmp", 80, 60, 0x20C040);
        ASSERT_NE(image_, 0);
        gadget_ = gadget_image_create(AUTO_NUMBER, 40, 40, 10, 10, image_handle(image_));
        ASSERT_NE(gadget_, 0);
        settle();
        discard_events();
        ASSERT_TRUE(widget_screen_origin(box(), &x0_, &y0_));
    }
    void TearDown() override {
        window_free(window_);
        image_free(image_);
        discard_events();
    }
    GtkWidget* box() { return record_of(gadget_)->outer; }

    ObjectId window_ = 0, image_ = 0, gadget_ = 0;
    int x0_ = 0, y0_ = 0; // screen position of the gadget
};

} // namespace

TEST_F(ImageGadget, ShowsTheImageAtItsOwnSize) {
    EXPECT_EQ(gadget_width(gadget_), 80);
    EXPECT_EQ(gadget_height(gadget_), 60);
    EXPECT_EQ(gadget_kind(gadget_), GADGET_KIND_IMAGE);
    EXPECT_EQ(gadget_get_state(gadget_), reinterpret_cast<std::int64_t>(image_handle(image_)));
    EXPECT_FALSE(gtk_widget_get_has_window(box()));
    Rgb p = widget_pixel(box(), 40, 30);
    EXPECT_NEAR(p.red, 0x20, 2);
    EXPECT_NEAR(p.green, 0xC0, 2);
    EXPECT_NEAR(p.blue, 0x40, 2);
}

TEST_F(ImageGadget, OneLeftClickPerClick) {
    xtest_click(x0_ + 20, y0_ + 20, 1);
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(subtypes(events), (std::vector<std::int64_t>{SUBTYPE_LEFT_CLICK}));
    EXPECT_EQ(events[0].object, gadget_);
    EXPECT_EQ(events[0].window, window_);
}

// Made a button, the image is pressed as any button is: its accessible
// object's one action "click" and Return on the focused image post a click.
TEST_F(ImageGadget, AsAButtonItTakesTheFocusAndItsClickActionPostsALeftClick) {
    AtkObject* access = gtk_widget_get_accessible(box());
    EXPECT_EQ(atk_action_get_n_actions(ATK_ACTION(access)), 0);
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(access), 0));
    gadget_image_set_button(gadget_);
    EXPECT_TRUE(gtk_widget_get_can_focus(box()));
    EXPECT_EQ(atk_object_get_role(access), ATK_ROLE_PUSH_BUTTON);
    ASSERT_EQ(atk_action_get_n_actions(ATK_ACTION(access)), 1);
    EXPECT_STREQ(atk_action_get_name(ATK_ACTION(access), 0), "click");
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(access), 1));
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(access), 0));
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(subtypes(events), (std::vector<std::int64_t>{SUBTYPE_LEFT_CLICK}));
    EXPECT_EQ(events[0].object, gadget_);
    gadget_set_focus(gadget_);
    EXPECT_TRUE(gtk_widget_is_focus(box()));
    xtest_move(x0_ + 5, y0_ + 5); // keys go where the pointer is
    xtest_key("Return");
    EXPECT_EQ(subtypes(drain_gadget_events()), (std::vector<std::int64_t>{SUBTYPE_LEFT_CLICK}));
}

TEST_F(ImageGadget, DoubleClickPostsLeftClickThenDoubleClick) {
    xtest_double_click(x0_ + 30, y0_ + 30, 1);
    EXPECT_EQ(subtypes(drain_gadget_events()),
              (std::vector<std::int64_t>{SUBTYPE_LEFT_CLICK, SUBTYPE_LEFT_DOUBLE_CLICK}));
}

TEST_F(ImageGadget, RightClicksAndDoubleClicks) {
    xtest_click(x0_ + 10, y0_ + 10, 3);
    EXPECT_EQ(subtypes(drain_gadget_events()), (std::vector<std::int64_t>{SUBTYPE_RIGHT_CLICK}));
    pump(600); // beyond the double-click time
    xtest_double_click(x0_ + 10, y0_ + 10, 3);
    EXPECT_EQ(subtypes(drain_gadget_events()),
              (std::vector<std::int64_t>{SUBTYPE_RIGHT_CLICK, SUBTYPE_RIGHT_DOUBLE_CLICK}));
}

TEST_F(ImageGadget, MiddleButtonPostsNothing) {
    xtest_click(x0_ + 20, y0_ + 20, 2);
    EXPECT_TRUE(drain_gadget_events().empty());
}

TEST_F(ImageGadget, PressInsideReleaseOutsidePostsNoClick) {
    xtest_move(x0_ + 70, y0_ + 50);
    settle(30);
    xtest_button(1, true);
    settle(30);
    xtest_move(x0_ + 150, y0_ + 50); // outside, to the right
    settle(30);
    xtest_button(1, false);
    settle(50);
    std::vector<TakenEvent> events = drain_gadget_events();
    for (std::int64_t s :
         {SUBTYPE_LEFT_CLICK, SUBTYPE_RIGHT_CLICK, SUBTYPE_LEFT_DOUBLE_CLICK, SUBTYPE_RIGHT_DOUBLE_CLICK})
        EXPECT_EQ(count_events(events, EVENT_GADGET, s), 0);
}

TEST_F(ImageGadget, DragPostsOneDragStart) {
    xtest_move(x0_ + 10, y0_ + 10);
    settle(30);
    xtest_button(1, true);
    settle(30);
    for (int step = 1; step <= 8; ++step) {
        xtest_move(x0_ + 10 + 6 * step, y0_ + 10 + 4 * step);
        settle(20);
    }
    xtest_button(1, false);
    settle(50);
    std::vector<TakenEvent> events = drain_gadget_events();
    EXPECT_EQ(count_events(events, EVENT_GADGET, SUBTYPE_DRAG_START), 1);
    // The release came inside the gadget, so the press also counts as a click.
    EXPECT_EQ(count_events(events, EVENT_GADGET, SUBTYPE_LEFT_CLICK), 1);

    // A small movement within the threshold is no drag.
    pump(600);
    xtest_move(x0_ + 30, y0_ + 30);
    settle(30);
    xtest_button(1, true);
    settle(30);
    xtest_move(x0_ + 31, y0_ + 30);
    settle(30);
    xtest_button(1, false);
    settle(50);
    EXPECT_EQ(count_events(drain_gadget_events(), EVENT_GADGET, SUBTYPE_DRAG_START), 0);
}

TEST_F(ImageGadget, ScaleFactorChangeDrawsThePictureAgain) {
    GtkImage* picture = GTK_IMAGE(record_of(gadget_)->main);
    gtk_image_clear(picture);
    g_object_notify(G_OBJECT(picture), "scale-factor");
    EXPECT_NE(gtk_image_get_storage_type(picture), GTK_IMAGE_EMPTY);
}

TEST_F(ImageGadget, SetStateSwapsTheImageOrKeepsTheArea) {
    ObjectId other = load_colour_image("other.bmp", 30, 20, 0xFF0000);
    GadgetRecord* g = record_of(gadget_);
    g->ops->set_state(g, reinterpret_cast<std::int64_t>(image_handle(other)));
    settle();
    EXPECT_EQ(gadget_get_state(gadget_), reinterpret_cast<std::int64_t>(image_handle(other)));
    EXPECT_EQ(gadget_width(gadget_), 30);
    EXPECT_EQ(gadget_height(gadget_), 20);
    Rgb p = widget_pixel(box(), 10, 10);
    EXPECT_GT(p.red, 240);
    EXPECT_LT(p.green, 16);

    g->ops->set_state(g, 0);
    settle();
    EXPECT_EQ(gadget_get_state(gadget_), 0);
    EXPECT_EQ(gadget_width(gadget_), 30);
    EXPECT_EQ(gadget_height(gadget_), 20);
    image_free(other);
}

TEST_F(ImageGadget, FramesEmptyImagesAndNumbers) {
    struct Case {
        std::int32_t flags;
        bool framed;
        GtkShadowType shadow;
    } cases[] = {{IMAGE_FRAME_SUNKEN, true, GTK_SHADOW_IN},
                 {IMAGE_FRAME_RAISED, true, GTK_SHADOW_OUT},
                 {IMAGE_FRAME_SUNKEN | IMAGE_FRAME_RAISED, true, GTK_SHADOW_OUT},
                 {0, false, GTK_SHADOW_NONE}};
    for (const Case& c : cases) {
        ObjectId result = gadget_image_create(7, 200, 40, 10, 10, image_handle(image_), c.flags);
        ASSERT_EQ(result, reinterpret_cast<std::intptr_t>(main_of(7)));
        EXPECT_TRUE(GTK_IS_IMAGE(main_of(7)));
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(record_of(7)->outer));
        EXPECT_EQ(GTK_IS_FRAME(child) != 0, c.framed) << c.flags;
        if (c.framed) {
            EXPECT_EQ(gtk_frame_get_shadow_type(GTK_FRAME(child)), c.shadow);
        }
    }
    // Without an image the gadget takes the size asked for.
    ObjectId empty = gadget_image_create(AUTO_NUMBER, 300, 200, 33, 22, nullptr);
    ASSERT_NE(empty, 0);
    EXPECT_EQ(gadget_width(empty), 33);
    EXPECT_EQ(gadget_height(empty), 22);
    EXPECT_EQ(gadget_get_state(empty), 0);
    settle();
    discard_events();
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(record_of(empty)->outer, &x, &y));
    xtest_click(x + 5, y + 5, 1);
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].object, empty);
}

TEST_F(ImageGadget, ClickOnTheFramesLastColumnAndRowCounts) {
    ObjectId framed = gadget_image_create(AUTO_NUMBER, 200, 150, 0, 0, image_handle(image_), IMAGE_FRAME_SUNKEN);
    ASSERT_NE(framed, 0);
    settle();
    discard_events();
    GtkAllocation shown;
    gtk_widget_get_allocation(record_of(framed)->outer, &shown);
    ASSERT_GT(shown.width, 80) << "the frame adds to the image's width";
    ASSERT_GT(shown.height, 60) << "the frame adds to the image's height";
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(record_of(framed)->outer, &x, &y));
    xtest_click(x + shown.width - 1, y + shown.height - 1, 1);
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].object, framed);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LEFT_CLICK);
}

TEST_F(ImageGadget, PixelsOutliveTheImageObjectWhileShown) {
    ObjectId temporary = load_colour_image("temporary.bmp", 16, 16, 0x0000FF);
    ObjectId shown = gadget_image_create(AUTO_NUMBER, 250, 150, 0, 0, image_handle(temporary));
    image_free(temporary);
    settle();
    Rgb p = widget_pixel(record_of(shown)->outer, 8, 8);
    EXPECT_GT(p.blue, 240);
    EXPECT_LT(p.red, 16);
}
