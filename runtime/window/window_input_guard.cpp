// Repairs of the toolkit's input routing, applied to every event before the
// toolkit dispatches it.
//
// GTK 3.24 adds a grab (gtk_grab_add) even for a widget whose toplevel has
// no window yet; its own check of that toplevel's window type then fails
// ("gdk_window_get_window_type: assertion 'GDK_IS_WINDOW (window)' failed").
// From then on it hands every event to that unrealized widget, which refuses
// it ("_gtk_widget_captured_event: assertion 'WIDGET_REALIZED_FOR_EVENT
// (widget, event)' failed"): keys, clicks and close requests are dropped for
// good. Its combo box does so when a list that never opened before fails to
// open (see is_stale); a list that opened before then takes the next click
// unseen. Such grabs are removed here, with the pointer and keyboard grab of
// the display, before the event goes on.
//
// While a popped-up menu (a combo box's list) holds the grab, GTK drops a
// close request of any other window; the menu is popped down first, so that
// the request reaches the window.
#include "runtime/window/window_internal.h"

namespace {

// The group whose grabs decide where an event of `widget` goes, as the
// toolkit finds it: its toplevel window's, else the default group.
GtkWindowGroup* group_of(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    return gtk_window_get_group(GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
}

// Whether a grab can only swallow input: its widget is not realized, or it
// is a menu that is not on screen. GTK's combo box selects its list's first
// item even when the list did not open because the list's own pointer grab
// failed (another client held the pointer, or the click that asked for it
// was older than the display's last grab, as when the program lags behind
// rapid clicks), and selecting an item activates the menu with a grab.
bool is_stale(GtkWidget* grab) {
    return !gtk_widget_get_realized(grab) || (GTK_IS_MENU_SHELL(grab) && !gtk_widget_get_mapped(grab));
}

// Removes the group's stale grabs (a menu is cancelled, which also ends its
// active state); true when any was.
bool drop_stale_grabs(GtkWindowGroup* group, GdkDevice* device) {
    bool dropped = false;
    for (GtkWidget* grab; (grab = gtk_window_group_get_current_grab(group)) != nullptr && is_stale(grab);) {
        if (GTK_IS_MENU_SHELL(grab)) gtk_menu_shell_cancel(GTK_MENU_SHELL(grab));
        if (gtk_window_group_get_current_grab(group) == grab) gtk_grab_remove(grab);
        dropped = true;
        if (gtk_window_group_get_current_grab(group) == grab) break; // held in another group: no progress
    }
    GtkWidget* held = device != nullptr ? gtk_window_group_get_current_device_grab(group, device) : nullptr;
    if (held != nullptr && is_stale(held)) {
        gtk_device_grab_remove(held, device);
        dropped = true;
    }
    return dropped;
}

// Pops down the menus whose grab would make the toolkit drop a close request
// of `window`.
void pop_down_menus(GtkWindowGroup* group, GtkWidget* window) {
    for (GtkWidget* grab; (grab = gtk_window_group_get_current_grab(group)) != nullptr && GTK_IS_MENU_SHELL(grab) &&
                          gtk_widget_get_toplevel(grab) != window;) {
        gtk_menu_shell_cancel(GTK_MENU_SHELL(grab));
        if (gtk_window_group_get_current_grab(group) == grab) break;
    }
}

// The event handler of GDK (installed over gtk_main_do_event, which it ends
// with). Main thread, GDK lock held, as for every toolkit dispatch.
void guard_event(GdkEvent* event, gpointer) noexcept {
    if (GtkWidget* target = gtk_get_event_widget(event)) {
        GtkWindowGroup* group = group_of(target);
        if (drop_stale_grabs(group, gdk_event_get_device(event)))
            gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(target)));
        if (event->type == GDK_DELETE) pop_down_menus(group, target);
    }
    gtk_main_do_event(event);
}

} // namespace

void window_input_guard_install() {
    gdk_event_handler_set(guard_event, nullptr, nullptr);
}
