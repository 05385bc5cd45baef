// Opens a window holding one gadget of each kind, checks that each one is on
// screen, and saves a screenshot of it as gadget_all_kinds.png in the build
// directory (or the working directory when run outside ctest) for a person
// to look at.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include "runtime/date/date.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/image_gadget.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

using namespace tda_test;

namespace {

std::string output_path() {
    const char* dir = std::getenv("TDA_BINARY_DIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : ".") + "/gadget_all_kinds.png";
}

TEST(AllGadgetKinds, OneOfEachKindIsOnScreen) {
    ObjectId window = kinds_window_open(790, 400);
    window_set_color(window, rgb(188, 216, 215));

    struct Placed {
        const char* kind;
        ObjectId id;
    };
    std::vector<Placed> placed;

    ObjectId text = gadget_text_create(AUTO_NUMBER, 20, 20, 160, 25, u"text: days after", TEXT_ALIGN_RIGHT);
    gadget_set_color(text, COLOR_FRONT, rgb(70, 70, 70));
    gadget_set_color(text, COLOR_BACK, rgb(255, 240, 200));
    placed.push_back({"text", text});

    ObjectId framed =
        gadget_text_create(AUTO_NUMBER, 20, 55, 160, 25, u"framed, centred", TEXT_ALIGN_CENTRE | TEXT_FRAMED);
    placed.push_back({"framed text", framed});

    ObjectId button = gadget_button_create(AUTO_NUMBER, 20, 95, 100, 40, u"push", 8);
    placed.push_back({"button", button});

    ObjectId toggle = gadget_button_create(AUTO_NUMBER, 130, 95, 100, 40, u"toggle", BUTTON_TOGGLE);
    gadget_set_state(toggle, 1);
    placed.push_back({"toggle", toggle});

    ObjectId combo = gadget_combo_create(AUTO_NUMBER, 20, 150, 100, 30, COMBO_EDITABLE);
    for (const char16_t* item : {u"1", u"2", u"3", u"4", u"5", u"6", u"7"}) {
        gadget_add_item(combo, -1, item);
    }
    gadget_set_text(combo, u"7");
    placed.push_back({"combo", combo});

    ObjectId plain_combo = gadget_combo_create(AUTO_NUMBER, 130, 150, 100, 30);
    gadget_add_item(plain_combo, -1, u"plain");
    gadget_set_text(plain_combo, u"plain");
    placed.push_back({"plain combo", plain_combo});

    ObjectId editor = gadget_editor_create(AUTO_NUMBER, 20, 195, 160, 35);
    gadget_add_item(editor, -1, u"year");
    gadget_set_color(editor, COLOR_FRONT, rgb(27, 15, 13));
    placed.push_back({"editor", editor});

    ObjectId result = gadget_editor_create(AUTO_NUMBER, 190, 195, 160, 80, EDITOR_WORD_WRAP);
    gadget_set_text(result, u"2024/02/29\nwrapped words in a second editor");
    gadget_set_color(result, COLOR_FRONT, rgb(200, 0, 0));
    placed.push_back({"wrapping editor", result});

    ObjectId calendar = gadget_calendar_create(AUTO_NUMBER, 560, 10, 200, 170,
                                               static_cast<std::int32_t>(date_make(2024, 2, 29, 0, 0, 0)));
    placed.push_back({"calendar", calendar});

    const char* source = std::getenv("TDA_SOURCE_DIR");
    std::string logo = std::string(source != nullptr ? source : ".") + "/assets/TovamiLogoNeon100x49.png";
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(logo.c_str(), nullptr);
    ObjectId image = gadget_image_create(AUTO_NUMBER, 660, 310, 100, 49, pixbuf, 1);
    placed.push_back({"image", image});

    settle(500);
    for (const Placed& p : placed) {
        SCOPED_TRACE(p.kind);
        ASSERT_NE(p.id, 0);
        GtkWidget* widget = main_of(p.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(gtk_widget_get_mapped(widget));
        GtkAllocation a;
        gtk_widget_get_allocation(widget, &a);
        EXPECT_GT(a.width, 1);
        EXPECT_GT(a.height, 1);
    }
    // The window colour shows in the free part of the gadget area.
    GtkWidget* layout = gtk_widget_get_parent(record_of(button)->main);
    Rgb free_area = widget_pixel(layout, 450, 380);
    EXPECT_NEAR(free_area.red, 188, 2);
    EXPECT_NEAR(free_area.green, 216, 2);
    EXPECT_NEAR(free_area.blue, 215, 2);

    const std::string path = output_path();
    ASSERT_TRUE(screenshot(path));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_GT(info.st_size, 1000);
    window_free(window);
}

} // namespace
