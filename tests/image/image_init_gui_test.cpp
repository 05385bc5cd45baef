// The image library's start and end with a display: the hidden window and
// image_end freeing every image.
#include "runtime/image/image.h"
#include "support/gui_support.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

using namespace tda_test;

namespace {

int toplevel_count() {
    GList* windows = gdk_screen_get_toplevel_windows(gdk_screen_get_default());
    int n = static_cast<int>(g_list_length(windows));
    g_list_free(windows);
    return n;
}

} // namespace

TEST(ImageInit, HiddenWindowLivesFromInitToEnd) {
    gui_runtime_start();
    image_drawing_init();
    int before = toplevel_count();
    image_init();
    image_init(); // a second call makes no second window
    EXPECT_EQ(toplevel_count(), before + 1);
    GList* windows = gdk_screen_get_toplevel_windows(gdk_screen_get_default());
    bool found = false;
    for (GList* w = windows; w != nullptr; w = w->next) {
        auto* window = static_cast<GdkWindow*>(w->data);
        if (gdk_window_get_width(window) == 10 && gdk_window_get_height(window) == 10) {
            found = true;
            EXPECT_FALSE(gdk_window_is_visible(window));
        }
    }
    g_list_free(windows);
    EXPECT_TRUE(found);

    image_library_start();
    BmpLayout s;
    s.pixel_data = {1, 2, 3, 0};
    ObjectId a = image_load(AUTO_NUMBER, u16(write_temp_file(bmp_bytes(s), "init.bmp")).c_str());
    ASSERT_NE(a, 0);
    ASSERT_NE(image_load(3, u16(write_temp_file(bmp_bytes(s), "init3.bmp")).c_str()), 0);
    image_end();
    EXPECT_EQ(image_handle(a), nullptr);
    EXPECT_EQ(image_handle(3), nullptr);
    EXPECT_EQ(toplevel_count(), before);
}
