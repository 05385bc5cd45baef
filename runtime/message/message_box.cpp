// Modal message boxes over GtkMessageDialog.
#include "runtime/message/message_box.h"

#include "runtime/core/utf_convert.h"

#include "runtime/event/event_wait.h"

#include <gtk/gtk.h>

namespace {

// Owns a g_malloc'd UTF-8 copy for the length of one call.
struct Utf8Text {
    gchar* text;
    explicit Utf8Text(const WideChar* s) : text(string_to_utf8_gtk(s)) {}
    ~Utf8Text() noexcept { g_free(text); }
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
};

// Results indexed by response id + 9: NO, YES, CLOSE, CANCEL, OK.
constexpr std::int64_t kResultByResponse[5] = {MESSAGE_BOX_RESULT_NO, MESSAGE_BOX_RESULT_YES, 0,
                                               MESSAGE_BOX_RESULT_CANCEL, MESSAGE_BOX_RESULT_YES};

GtkMessageType message_type(std::uint32_t flags) {
    if (flags & MESSAGE_BOX_INFO) return GTK_MESSAGE_INFO;
    if (flags & MESSAGE_BOX_WARNING) return GTK_MESSAGE_WARNING;
    if (flags & MESSAGE_BOX_ERROR) return GTK_MESSAGE_ERROR;
    return GTK_MESSAGE_OTHER;
}

// The window the box belongs to: the active one, else a shown window of the
// runtime's own (it carries "tda_id"); null when there is none. The window
// manager then keeps the box above it and gives the focus back to it.
GtkWindow* owner_window() {
    GtkWindow* owner = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* l = windows; l != nullptr; l = l->next) {
        GtkWindow* window = GTK_WINDOW(l->data);
        if (!gtk_widget_get_visible(GTK_WIDGET(window))) continue;
        if (gtk_window_is_active(window)) {
            owner = window;
            break;
        }
        if (owner == nullptr && g_object_get_data(G_OBJECT(window), "tda_id") != nullptr) owner = window;
    }
    g_list_free(windows);
    return owner;
}

} // namespace

std::int64_t message_box(const WideChar* title, const WideChar* text, std::uint32_t flags) {
    Utf8Text utf8_text(text);
    Utf8Text utf8_title(title);

    bool yes_no = (flags & (MESSAGE_BOX_YES_NO | MESSAGE_BOX_YES_NO_CANCEL)) != 0;
    // The text goes through "%s" so that percent signs in it show literally.
    GtkWidget* dialog = gtk_message_dialog_new(owner_window(), GTK_DIALOG_MODAL, message_type(flags),
                                               yes_no ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", utf8_text.text);
    if ((flags & MESSAGE_BOX_YES_NO_CANCEL) && !(flags & MESSAGE_BOX_YES_NO))
        gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
    gtk_window_set_title(GTK_WINDOW(dialog), utf8_title.text);
    // The focus starts on the first button (OK or Yes), so Enter answers it
    // and Esc closes the box; a screen reader lands on the box's button.
    const gint first = yes_no ? GTK_RESPONSE_YES : GTK_RESPONSE_OK;
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), first);
    if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), first))
        gtk_widget_grab_focus(button);

    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    std::int64_t result = 0;
    if (response + 9 >= 0 && response + 9 <= 4) result = kResultByResponse[response + 9];

    // Let the dialog vanish from the screen before returning.
    gtk_widget_destroy(dialog);
    events_flush();
    return result;
}

std::int64_t message_box(const WideChar* title, const WideChar* text) {
    return message_box(title, text, 0);
}
