// GTK start-up through gui_start and the GDK lock it holds until gui_stop.
#include "runtime/core/runtime_start.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

char g_program[] = "gui_start_test";
char g_first_option[] = "--name=first-start";
char g_second_option[] = "--name=second-start";

// Another thread takes and leaves the GDK lock; returns whether it got it
// within a generous wait. A thread still blocked then is left behind.
bool other_thread_gets_lock(std::chrono::milliseconds wait) {
    auto got = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([got] {
        gdk_threads_enter();
        *got = true;
        gdk_threads_leave();
    });
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (!*got && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!*got) {
        worker.detach();
        return false;
    }
    worker.join();
    return true;
}

// Whether a GL driver is mapped into this process.
bool gl_driver_loaded() {
    gchar* maps = nullptr;
    if (!g_file_get_contents("/proc/self/maps", &maps, nullptr, nullptr)) return false;
    bool loaded = false;
    for (const char* name : {"/dri/", "libGLX_mesa", "libEGL_mesa", "swrast"})
        loaded = loaded || std::strstr(maps, name) != nullptr;
    g_free(maps);
    return loaded;
}

TEST(GuiStart, InitialisesGtkOnceHoldsTheLockAndGuiStopLeavesIt) {
    ASSERT_TRUE(tda_test::display_start()) << "no display could be had";
    char* first_args[] = {g_program, g_first_option, nullptr};
    int argc = 2;
    char** argv = first_args;
    runtime_args_set(&argc, &argv);
    locale_init();
    ASSERT_FALSE(gui_started());
    g_unsetenv("GDK_GL"); // no user choice: the runtime turns GL off on its own
    gui_start();
    ASSERT_TRUE(gui_started());
    EXPECT_EQ(g_getenv("GDK_GL"), nullptr) << "the environment is left as it was";
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(window);
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    EXPECT_FALSE(gl_driver_loaded()) << "GDK skipped the GL probe";
    gtk_widget_destroy(window);
    EXPECT_EQ(argc, 1) << "gtk_init took its own option out of the saved arguments";
    EXPECT_STREQ(g_get_prgname(), "first-start");

    char* second_args[] = {g_program, g_second_option, nullptr};
    int argc2 = 2;
    char** argv2 = second_args;
    runtime_args_set(&argc2, &argv2);
    gui_start();
    EXPECT_EQ(argc2, 2) << "a second gui_start does not run gtk_init again";
    EXPECT_STREQ(g_get_prgname(), "first-start");

    // The main thread holds the lock; being recursive, it nests.
    gdk_threads_enter();
    GtkWidget* label = gtk_label_new("x");
    gtk_widget_destroy(label);
    gdk_threads_leave();

    // A second thread blocks on the lock while the main thread holds it ...
    std::atomic<bool> got{false};
    std::thread worker([&] {
        gdk_threads_enter();
        got = true;
        gdk_threads_leave();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(got) << "the main thread holds the GDK lock from gui_start on";
    // ... and gets it once gui_stop has left it (gui_start entered it once
    // only, despite the second call).
    gui_stop();
    worker.join();
    EXPECT_TRUE(got);

    // A second gui_stop does not leave a lock this thread no longer holds.
    gui_stop();
    EXPECT_TRUE(other_thread_gets_lock(std::chrono::seconds(30)));
    gdk_lock_enter();
    gdk_lock_leave();
    EXPECT_TRUE(gui_started()) << "gui_stop keeps the started flag";
}

} // namespace
