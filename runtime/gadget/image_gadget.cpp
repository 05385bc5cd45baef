// Image gadget: an event box without a window of its own holding a GtkImage
// (optionally inside a frame). Button presses and releases become click
// events; a left-button drag past the toolkit's threshold becomes a drag
// start. State: the image shown.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/image_gadget.h"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/image_button.h"
#include "runtime/gadget/layout_scale.h"
#include "runtime/image/image.h"

#include <gtk/gtk.h>

namespace {

// Drag state of one image gadget; g_malloc0'd, freed with g_free when the
// motion handler is disconnected (the event box is destroyed).
struct DragTracker {
    std::intptr_t gadget; // the gadget id
    std::int32_t pressed; // the left button is down since a press on the gadget
    std::int32_t posted;  // SUBTYPE_DRAG_START was posted for this press
    std::int32_t press_x; // pointer position of the press, event-box coordinates
    std::int32_t press_y;
};

constexpr guint BUTTON_STATE_MASKS =
    GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;
static_assert(BUTTON_STATE_MASKS == 0x1f00);

std::int64_t image_get_state(GadgetRecord* g) {
    return static_cast<std::int64_t>(g->data1);
}

// Shows `pixels` (null: nothing) in the image widget, `picture`, at the
// layout's text scale and the widget's device scale. At 1 and 1 that is the
// pixel buffer itself; otherwise a drawing of exactly the device pixels the
// area covers, made from the image's double-size drawing when the display
// needs more pixels than the image has, so that a scale of 2 shows the
// double-size drawing as it is.
void show_picture(GtkWidget* picture, GdkPixbuf* pixels) {
    const int device = pixels != nullptr ? gtk_widget_get_scale_factor(picture) : 1;
    if (pixels == nullptr || (device == 1 && layout_scale_factor() == 1.0)) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(picture), pixels);
        return;
    }
    const int width = layout_scale(gdk_pixbuf_get_width(pixels)) * device;
    const int height = layout_scale(gdk_pixbuf_get_height(pixels)) * device;
    GdkPixbuf* source = pixels;
    GdkPixbuf* twice = image_double_size(pixels);
    if (twice != nullptr && width > gdk_pixbuf_get_width(pixels)) source = twice;
    GdkPixbuf* sized = gdk_pixbuf_get_width(source) == width && gdk_pixbuf_get_height(source) == height
                           ? GDK_PIXBUF(g_object_ref(source))
                           : gdk_pixbuf_scale_simple(source, width, height, GDK_INTERP_HYPER);
    if (sized == nullptr) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(picture), pixels);
        return;
    }
    cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(sized, device, nullptr);
    gtk_image_set_from_surface(GTK_IMAGE(picture), surface);
    cairo_surface_destroy(surface);
    g_object_unref(sized);
}

// Shows another image. Without one, the gadget keeps its current area.
void image_set_state(GadgetRecord* g, std::int64_t state) {
    auto* pixels = reinterpret_cast<GdkPixbuf*>(static_cast<std::intptr_t>(state));
    g->data1 = static_cast<std::intptr_t>(state);
    if (pixels != nullptr) {
        show_picture(g->main, pixels);
        gtk_widget_set_size_request(g->outer, layout_scale(gdk_pixbuf_get_width(pixels)),
                                    layout_scale(gdk_pixbuf_get_height(pixels)));
    } else {
        GtkRequisition minimum{};
        gtk_widget_get_preferred_size(g->outer, &minimum, nullptr);
        gtk_image_set_from_pixbuf(GTK_IMAGE(g->main), nullptr);
        gtk_widget_set_size_request(g->outer, minimum.width, minimum.height);
    }
    gtk_widget_queue_draw(g->main);
}

const GadgetOps* image_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_IMAGE;
        o.get_state = image_get_state;
        o.set_state = image_set_state;
        return o;
    }();
    return &ops;
}

void set_pending(GtkWidget* box, std::intptr_t kind) {
    g_object_set_data(G_OBJECT(box), IMAGE_KEY_EVENTTYPE, reinterpret_cast<gpointer>(kind));
}

std::intptr_t pending(GtkWidget* box) {
    return reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(box), IMAGE_KEY_EVENTTYPE));
}

// Both button signals: a press remembers the click kind, a release inside
// the gadget posts it. Always lets the toolkit go on with the event.
gboolean on_image_button(GtkWidget* box, GdkEventButton* event, gpointer data) noexcept {
    ObjectId id = gadget_id_from_data(data);
    switch (event->type) {
    case GDK_BUTTON_PRESS:
        if (event->button == 1)
            set_pending(box, 1);
        else if (event->button == 3)
            set_pending(box, 2);
        break;
    case GDK_2BUTTON_PRESS:
        if (event->button == 1)
            set_pending(box, 3);
        else if (event->button == 3)
            set_pending(box, 4);
        break;
    case GDK_BUTTON_RELEASE: {
        std::intptr_t kind = pending(box);
        gint x = -1, y = -1;
        gtk_widget_get_pointer(box, &x, &y);
        // The allocation is what shows on screen, a frame included; the size
        // request only covers the image.
        GtkAllocation shown;
        gtk_widget_get_allocation(box, &shown);
        if (x >= 0 && y >= 0 && x < shown.width && y < shown.height) {
            bool left = event->button == 1 && (kind == 1 || kind == 3);
            bool right = event->button == 3 && (kind == 2 || kind == 4);
            if (left || right) gadget_post_event(box, id, kind - 1);
        }
        set_pending(box, 0);
        break;
    }
    default:
        break;
    }
    return FALSE;
}

gboolean on_drag_press(GtkWidget*, GdkEventButton* event, gpointer data) noexcept {
    auto* tracker = static_cast<DragTracker*>(data);
    if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
        tracker->pressed = 1;
        tracker->posted = 0;
        tracker->press_x = static_cast<std::int32_t>(event->x);
        tracker->press_y = static_cast<std::int32_t>(event->y);
    }
    return FALSE;
}

gboolean on_drag_release(GtkWidget*, GdkEventButton*, gpointer data) noexcept {
    static_cast<DragTracker*>(data)->pressed = 0;
    return FALSE;
}

gboolean on_drag_motion(GtkWidget* box, GdkEventMotion* event, gpointer data) noexcept {
    auto* tracker = static_cast<DragTracker*>(data);
    if (tracker->pressed == 1 && tracker->posted == 0 && (event->state & BUTTON_STATE_MASKS) == GDK_BUTTON1_MASK &&
        gtk_drag_check_threshold(box, tracker->press_x, tracker->press_y, static_cast<gint>(event->x),
                                 static_cast<gint>(event->y))) {
        gadget_post_event(box, tracker->gadget, SUBTYPE_DRAG_START);
        tracker->posted = 1;
    }
    return FALSE;
}

// "key-press-event" of the event box, which gets keys only when it was made
// focusable: Return, Enter and Space without Ctrl or Alt post what a left
// click posts and are consumed; other keys go on.
gboolean on_image_key(GtkWidget* box, GdkEventKey* event, gpointer data) noexcept {
    const guint key = event->keyval;
    if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) return FALSE;
    if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_ISO_Enter && key != GDK_KEY_space &&
        key != GDK_KEY_KP_Space)
        return FALSE;
    gadget_post_event(box, gadget_id_from_data(data), SUBTYPE_LEFT_CLICK);
    return TRUE;
}

void free_tracker(gpointer data, GClosure*) {
    g_free(data);
}

// Installs the drag tracking on the event box; its handlers run before the
// click handler, which is connected afterwards.
void install_drag_tracking(GtkWidget* box, ObjectId id) {
    auto* tracker = static_cast<DragTracker*>(g_malloc0(sizeof(DragTracker)));
    tracker->gadget = static_cast<std::intptr_t>(id);
    gtk_widget_add_events(box, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON_MOTION_MASK);
    g_signal_connect(box, "button-press-event", G_CALLBACK(on_drag_press), tracker);
    g_signal_connect(box, "button-release-event", G_CALLBACK(on_drag_release), tracker);
    g_signal_connect_data(box, "motion-notify-event", G_CALLBACK(on_drag_motion), tracker, free_tracker,
                          static_cast<GConnectFlags>(0));
}

// The device scale changed (the window moved to another monitor, or the
// output's scale was changed): the image is drawn again for the new scale,
// from its double-size drawing at 2 and above. The text scale is not read
// again: the layout keeps the factor of its start (layout_scale.h), so that
// positions, sizes and pictures all agree.
void on_scale_factor(GObject* picture, GParamSpec*, gpointer data) noexcept {
    GadgetRecord* g = gadget_lookup(gadget_id_from_data(data));
    if (g == nullptr || g->main != GTK_WIDGET(picture) || g->data1 == 0) return;
    show_picture(g->main, reinterpret_cast<GdkPixbuf*>(g->data1));
}

// What image_finish needs besides the record.
struct ImageOrder {
    GdkPixbuf* image;
    std::int32_t width, height;
};

bool image_finish(GadgetRecord* g, ObjectId id, void* context) {
    const auto* order = static_cast<const ImageOrder*>(context);
    GtkWidget* box = g->outer;
    if (order->image != nullptr)
        gtk_widget_set_size_request(box, gdk_pixbuf_get_width(order->image), gdk_pixbuf_get_height(order->image));
    else
        gtk_widget_set_size_request(box, order->width, order->height);
    install_drag_tracking(box, id);
    g_signal_connect(box, "button-press-event", G_CALLBACK(on_image_button), GADGET_ID_DATA(id));
    g_signal_connect(box, "button-release-event", G_CALLBACK(on_image_button), GADGET_ID_DATA(id));
    g_signal_connect(box, "key-press-event", G_CALLBACK(on_image_key), GADGET_ID_DATA(id));
    g->data1 = reinterpret_cast<std::intptr_t>(order->image);
    g_signal_connect(g->main, "notify::scale-factor", G_CALLBACK(on_scale_factor), GADGET_ID_DATA(id));
    return true;
}

} // namespace

ObjectId gadget_image_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             GdkPixbuf* image, std::int32_t flags) {
    GtkWidget* picture = gtk_image_new();
    if (picture == nullptr) return 0;
    show_picture(picture, image);
    gtk_misc_set_alignment(GTK_MISC(picture), 0.0f, 0.0f);
    GtkWidget* box = image_button_box_new(); // an event box that can become a button
    gtk_widget_set_has_window(box, FALSE);
    if ((flags & (IMAGE_FRAME_SUNKEN | IMAGE_FRAME_RAISED)) != 0) {
        GtkWidget* frame = gtk_frame_new(nullptr);
        gtk_frame_set_shadow_type(GTK_FRAME(frame), (flags & IMAGE_FRAME_RAISED) != 0 ? GTK_SHADOW_OUT : GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(frame), picture);
        gtk_container_add(GTK_CONTAINER(box), frame);
    } else {
        gtk_container_add(GTK_CONTAINER(box), picture);
    }
    ImageOrder order{image, width, height};
    return gadget_create(number, x, y, {picture, box, image_ops(), image_finish, &order});
}
