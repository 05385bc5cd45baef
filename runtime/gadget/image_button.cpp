// An image gadget as a push button: its event box takes the focus and its
// accessible object has the push-button role and the action "click", so that
// a screen reader's "activate" and voice control can press it as they press
// any button.
#include "runtime/gadget/image_button.h"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_access.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

namespace {

// Data on the event box of an image made a button: the gadget id + 1 (so
// that id 0 differs from a box that is no button).
constexpr const char* KEY_BUTTON_ID = "tda_image_button";

struct TdaImageBox {
    GtkEventBox parent;
};
struct TdaImageBoxClass {
    GtkEventBoxClass parent_class;
};
struct TdaImageBoxAccessible {
    GtkContainerAccessible parent;
};
struct TdaImageBoxAccessibleClass {
    GtkContainerAccessibleClass parent_class;
};

// The event box behind an action, when it was made a button; its id through `id`.
GtkWidget* button_of(AtkAction* action, ObjectId* id) {
    GtkWidget* box = gtk_accessible_get_widget(GTK_ACCESSIBLE(action));
    const auto stored =
        box != nullptr ? reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(box), KEY_BUTTON_ID)) : 0;
    if (stored == 0) return nullptr;
    if (id != nullptr) *id = static_cast<ObjectId>(stored - 1);
    return box;
}

// "click" posts what a left click on the image posts; like every toolkit
// handler it only posts, and the program acts when it takes the event.
gboolean do_action(AtkAction* action, gint i) noexcept {
    ObjectId id = 0;
    GtkWidget* box = button_of(action, &id);
    if (box == nullptr || i != 0 || !gtk_widget_is_sensitive(box)) return FALSE;
    gadget_post_event(box, id, SUBTYPE_LEFT_CLICK);
    return TRUE;
}

gint get_n_actions(AtkAction* action) noexcept {
    return button_of(action, nullptr) != nullptr ? 1 : 0;
}

const gchar* get_name(AtkAction* action, gint i) noexcept {
    return i == 0 && button_of(action, nullptr) != nullptr ? "click" : nullptr;
}

// The names every toolkit button has, in the toolkit's own translation.
const gchar* get_localized_name(AtkAction* action, gint i) noexcept {
    return i == 0 && button_of(action, nullptr) != nullptr ? g_dpgettext2("gtk30", "Action name", "Click") : nullptr;
}

const gchar* get_description(AtkAction* action, gint i) noexcept {
    return i == 0 && button_of(action, nullptr) != nullptr
               ? g_dpgettext2("gtk30", "Action description", "Clicks the button")
               : nullptr;
}

void action_interface_init(gpointer iface, gpointer) noexcept {
    auto* action = static_cast<AtkActionIface*>(iface);
    action->do_action = do_action;
    action->get_n_actions = get_n_actions;
    action->get_name = get_name;
    action->get_localized_name = get_localized_name;
    action->get_description = get_description;
}

GType image_box_accessible_type() {
    static gsize type = 0;
    if (g_once_init_enter(&type)) {
        GType registered = g_type_register_static_simple(
            GTK_TYPE_CONTAINER_ACCESSIBLE, "TdaImageBoxAccessible", sizeof(TdaImageBoxAccessibleClass), nullptr,
            sizeof(TdaImageBoxAccessible), nullptr, static_cast<GTypeFlags>(0));
        const GInterfaceInfo action_info{action_interface_init, nullptr, nullptr};
        g_type_add_interface_static(registered, ATK_TYPE_ACTION, &action_info);
        g_once_init_leave(&type, registered);
    }
    return type;
}

void image_box_class_init(gpointer klass, gpointer) noexcept {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), image_box_accessible_type());
}

GType image_box_type() {
    static gsize type = 0;
    if (g_once_init_enter(&type)) {
        GType registered = g_type_register_static_simple(GTK_TYPE_EVENT_BOX, "TdaImageBox", sizeof(TdaImageBoxClass),
                                                         image_box_class_init, sizeof(TdaImageBox), nullptr,
                                                         static_cast<GTypeFlags>(0));
        g_once_init_leave(&type, registered);
    }
    return type;
}

} // namespace

GtkWidget* image_button_box_new() {
    return GTK_WIDGET(g_object_new(image_box_type(), nullptr));
}

void gadget_image_set_button(ObjectId image) {
    GadgetRecord* g = gadget_lookup(image);
    if (g == nullptr || g->ops == nullptr || g->ops->kind != GADGET_KIND_IMAGE || g->outer == nullptr ||
        !G_TYPE_CHECK_INSTANCE_TYPE(g->outer, image_box_type()))
        return;
    GadgetLockGuard lock;
    g_object_set_data(G_OBJECT(g->outer), KEY_BUTTON_ID, GADGET_ID_DATA(image + 1));
    gtk_widget_set_can_focus(g->outer, TRUE);
    if (AtkObject* accessible = gtk_widget_get_accessible(g->outer))
        atk_object_set_role(accessible, ATK_ROLE_PUSH_BUTTON);
}
