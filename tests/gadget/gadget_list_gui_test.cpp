// Gadget lists: per-thread current list, saving and restoring per window,
// lists made on demand, containers as lists, clearing on destroy.
#include "runtime/gadget/gadget_list.h"
#include "runtime/window/window.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <thread>

namespace {

using namespace tda_test;

class GadgetList : public ::testing::Test {
  protected:
    void SetUp() override {
        gui_runtime_start();
        window_free(-1);
    }
    void TearDown() override { window_free(-1); }
};

TEST_F(GadgetList, NullOnlyAsks) {
    ObjectId id = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"w", WINDOW_INVISIBLE);
    GtkWidget* list = gadget_list_state()->current_list;
    EXPECT_EQ(gadget_list_use(nullptr), window_handle(id));
    EXPECT_EQ(gadget_list_state()->current_list, list);
    EXPECT_EQ(gadget_list_state()->current_window, window_handle(id));
}

TEST_F(GadgetList, PlainWindowGetsALayoutPackedIntoItsBox) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gadget_list_use(window);
    GtkWidget* list = gadget_list_state()->current_list;
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(GTK_IS_LAYOUT(list));
    EXPECT_EQ(gtk_widget_get_parent(list), box);
    EXPECT_EQ(g_object_get_data(G_OBJECT(window), "tda_gadgetlist"), list);
    gtk_widget_destroy(window);
    EXPECT_EQ(gadget_list_state()->current_list, nullptr);
    EXPECT_EQ(gadget_list_state()->current_window, nullptr);
}

TEST_F(GadgetList, ContainerIsItsOwnListAndStateIsSavedAndRestored) {
    ObjectId id = window_open(AUTO_NUMBER, 0, 0, 100, 100, u"w", WINDOW_INVISIBLE);
    GtkWidget* window_list = gadget_list_state()->current_list;
    gadget_list_state()->stack_depth = 2;
    gadget_list_state()->stack[0] = window_list;
    gadget_list_state()->stack[1] = reinterpret_cast<void*>(0x1234);

    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    g_object_ref_sink(layout);
    EXPECT_EQ(gadget_list_use(layout), window_handle(id));
    EXPECT_EQ(gadget_list_state()->current_list, layout);
    EXPECT_EQ(gadget_list_state()->stack_depth, 0);

    EXPECT_EQ(gadget_list_use(window_handle(id)), layout);
    EXPECT_EQ(gadget_list_state()->current_list, window_list);
    EXPECT_EQ(gadget_list_state()->stack_depth, 2);
    EXPECT_EQ(gadget_list_state()->stack[1], reinterpret_cast<void*>(0x1234));
    gadget_list_state()->stack_depth = 0;

    // Destroying a container that is not current leaves the current list.
    gtk_widget_destroy(layout);
    g_object_unref(layout);
    EXPECT_EQ(gadget_list_state()->current_list, window_list);
}

TEST_F(GadgetList, EachThreadHasItsOwnState) {
    window_open(AUTO_NUMBER, 0, 0, 100, 100, u"w", WINDOW_INVISIBLE);
    ASSERT_NE(gadget_list_state()->current_list, nullptr);
    GadgetListState* mine = gadget_list_state();
    GadgetListState* theirs = nullptr;
    void* their_list = reinterpret_cast<void*>(1);
    std::thread other([&] {
        theirs = gadget_list_state();
        their_list = theirs->current_list;
    });
    other.join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(their_list, nullptr);
}

} // namespace
