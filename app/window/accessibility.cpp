// Accessible names, descriptions, label relations and mnemonics of the main
// window, its keyboard focus order, and the spoken results.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // gtk_container_set_focus_chain

#include "app/window/accessibility.h"

#include "app/window/calculator.h"
#include "app/calculation/i18n.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"

#include <gtk/gtk.h>

#include <cctype>
#include <initializer_list>
#include <string>

namespace {

GtkWidget* main_widget(ObjectId gadget) {
    const GadgetRecord* g = gadget_lookup(gadget);
    return g != nullptr ? g->main : nullptr;
}

// The widget that sits directly in the window's layout.
GtkWidget* placed_widget(ObjectId gadget) {
    const GadgetRecord* g = gadget_lookup(gadget);
    if (g == nullptr) return nullptr;
    return g->outer != nullptr ? g->outer : g->main;
}

AtkObject* accessible_of(GtkWidget* widget) { return widget != nullptr ? gtk_widget_get_accessible(widget) : nullptr; }

void name_widget(GtkWidget* widget, const char* name, const char* description) {
    AtkObject* accessible = accessible_of(widget);
    if (accessible == nullptr) return;
    atk_object_set_name(accessible, name);
    if (description != nullptr) atk_object_set_description(accessible, description);
}

// Names a gadget's main widget and, for a combo box with an entry, the entry
// too: that is where the focus and the typing go.
void name_gadget(ObjectId gadget, const char* name, const char* description) {
    GtkWidget* widget = main_widget(gadget);
    name_widget(widget, name, description);
    if (widget != nullptr && GTK_IS_COMBO_BOX(widget) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(widget)))
        name_widget(gtk_bin_get_child(GTK_BIN(widget)), name, description);
}

// The widget a screen reader lands on for a gadget: a combo box's entry, the
// logo's event box, else the main widget.
GtkWidget* focus_widget(ObjectId gadget) {
    GtkWidget* widget = main_widget(gadget);
    if (widget != nullptr && GTK_IS_COMBO_BOX(widget) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(widget)))
        return gtk_bin_get_child(GTK_BIN(widget));
    if (widget != nullptr && GTK_IS_IMAGE(widget)) return placed_widget(gadget);
    return widget;
}

// The caption of a button without the blanks around it ("　日付入力" has an
// ideographic space in front); "" when there is none.
std::string caption_of(GtkWidget* button) {
    if (button == nullptr || !GTK_IS_BUTTON(button)) return "";
    // The button gadget shows its caption in a label of its own.
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    const char* text = child != nullptr && GTK_IS_LABEL(child) ? gtk_label_get_text(GTK_LABEL(child))
                                                                : gtk_button_get_label(GTK_BUTTON(button));
    if (text == nullptr) return "";
    const char* start = text;
    while (*start != '\0' && g_unichar_isspace(g_utf8_get_char(start))) start = g_utf8_next_char(start);
    const char* end = start;
    for (const char* p = start; *p != '\0'; p = g_utf8_next_char(p))
        if (!g_unichar_isspace(g_utf8_get_char(p))) end = g_utf8_next_char(p);
    return std::string(start, end);
}

// A button named by its caption first (what a voice-control user says), then
// what it does.
void name_button(ObjectId gadget, const char* purpose, const char* description) {
    GtkWidget* button = main_widget(gadget);
    std::string name = caption_of(button);
    if (name.empty()) name = purpose;
    else name += std::string(", ") + purpose;
    name_widget(button, name.c_str(), description);
}

void link_label(ObjectId label, GtkWidget* field) {
    AtkObject* label_access = accessible_of(main_widget(label));
    AtkObject* field_access = accessible_of(field);
    if (label == 0 || label_access == nullptr || field_access == nullptr) return;
    atk_object_add_relationship(field_access, ATK_RELATION_LABELLED_BY, label_access);
    atk_object_add_relationship(label_access, ATK_RELATION_LABEL_FOR, field_access);
}

// The label's text with a mnemonic for `key` (an upper-case ASCII letter):
// the underline goes before the first letter `key` that starts a word, else
// before its first occurrence, else "(_K)" is appended (texts in scripts
// without that letter). Underlines already in the text stay literal.
std::string with_mnemonic(const char* text, char key) {
    std::string escaped;
    std::size_t word_start = std::string::npos, anywhere = std::string::npos;
    bool after_letter = false;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (std::toupper(c) == key && c < 0x80) {
            if (!after_letter && word_start == std::string::npos) word_start = escaped.size();
            if (anywhere == std::string::npos) anywhere = escaped.size();
        }
        after_letter = c >= 0x80 || std::isalnum(c) != 0;
        escaped += *p;
        if (*p == '_') escaped += '_';
    }
    const std::size_t at = word_start != std::string::npos ? word_start : anywhere;
    if (at != std::string::npos) return escaped.insert(at, 1, '_');
    return escaped + "(_" + key + ")";
}

// Alt+key moves the focus to `field`; the underline shows while Alt is held.
void add_mnemonic(ObjectId label, char key, GtkWidget* field) {
    GtkWidget* widget = main_widget(label);
    if (label == 0 || widget == nullptr || !GTK_IS_LABEL(widget) || field == nullptr) return;
    gtk_label_set_text_with_mnemonic(GTK_LABEL(widget), with_mnemonic(gtk_label_get_text(GTK_LABEL(widget)), key).c_str());
    gtk_label_set_mnemonic_widget(GTK_LABEL(widget), field);
}

// The object whose description carries an announced result, and its own
// description (a reference and a copy, both held until given back).
struct Announcement {
    GtkWidget* widget = nullptr;
    AtkObject* accessible = nullptr;
    gchar* own_description = nullptr;
    bool variant = false; // alternates so that the same result twice is still a change
    bool give_back_pending = false;
} announcement;

constexpr guint GIVE_BACK_DELAY_MS = 300;

void give_description_back() {
    if (announcement.accessible == nullptr) return;
    atk_object_set_description(announcement.accessible,
                               announcement.own_description != nullptr ? announcement.own_description : "");
    g_free(announcement.own_description);
    g_object_unref(announcement.accessible);
    g_object_unref(announcement.widget);
    announcement = Announcement{nullptr, nullptr, nullptr, announcement.variant, announcement.give_back_pending};
}

// The toolkit names the application by its program name (the application
// id, which the window class needs) and ignores a name set on it; this
// answer prefers the set name.
const gchar* (*toolkit_root_name)(AtkObject*) = nullptr;

const gchar* root_name(AtkObject* root) noexcept {
    if (root->name != nullptr) return root->name;
    return toolkit_root_name != nullptr ? toolkit_root_name(root) : nullptr;
}

void name_application(const char* name) {
    AtkObject* root = atk_get_root();
    if (root == nullptr) return;
    AtkObjectClass* root_class = ATK_OBJECT_GET_CLASS(root);
    if (root_class->get_name != root_name) {
        toolkit_root_name = root_class->get_name;
        root_class->get_name = root_name;
    }
    atk_object_set_name(root, name);
}

GtkWidget* window_focus(GtkWidget* inside) {
    GtkWidget* top = inside != nullptr ? gtk_widget_get_toplevel(inside) : nullptr;
    return top != nullptr && GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
}

void follow_focus_for_access_now() {
    if (announcement.widget != nullptr && window_focus(announcement.widget) != announcement.widget)
        give_description_back();
}

gboolean give_back_after_focus_moved(gpointer) noexcept {
    announcement.give_back_pending = false;
    follow_focus_for_access_now();
    return G_SOURCE_REMOVE;
}

} // namespace

void describe_main_window_for_access(const MainWindowLabels& labels) {
    name_gadget(year_field, _("Year"), _("Year of the start date"));
    name_gadget(month_combo, _("Month"), _("Month of the start date"));
    name_gadget(day_combo, _("Day"), _("Day of the start date"));
    name_gadget(after_count_field, _("Days after"), _("Number of days to add to the start date"));
    name_gadget(after_result_field, _("Date after"), _("The start date plus the days after"));
    name_button(after_button, _("date after"), _("Shows the start date plus the days after in Date after"));
    name_gadget(before_count_field, _("Days before"), _("Number of days to take from the start date"));
    name_gadget(before_result_field, _("Date before"), _("The start date minus the days before"));
    name_button(before_button, _("date before"), _("Shows the start date minus the days before in Date before"));
    name_gadget(date_calendar, _("Calendar"), _("Pick a day to copy into Year, Month and Day"));
    // The selected day names the calendar, so that a screen reader says the
    // day each arrow key moves to. Translators: a g_date_time_format format.
    gadget_calendar_name_days(date_calendar, _("%A %-d %B %Y"));
    name_button(date_input_button, _("copy calendar date"),
                _("Copies the day picked in the calendar into Year, Month and Day"));
    name_gadget(logo_gadget, _("Tovami logo"), nullptr);
    name_widget(focus_widget(logo_gadget), _("About TovamiDaysAfter"), _("Shows the about box"));
    if (AtkObject* logo = accessible_of(focus_widget(logo_gadget))) atk_object_set_role(logo, ATK_ROLE_PUSH_BUTTON);
    name_gadget(banner_gadget, "TovamiDaysAfter", nullptr);
    // The program's name, not its application id, heads its accessibility tree.
    name_application("TovamiDaysAfter");

    // Where a caption alone says little ("push", "　日付入力", a picture), the
    // description shows as a tooltip too.
    for (ObjectId gadget : {after_button, before_button, date_input_button, logo_gadget}) {
        GtkWidget* widget = focus_widget(gadget);
        AtkObject* accessible = accessible_of(widget);
        const char* description = accessible != nullptr ? atk_object_get_description(accessible) : nullptr;
        if (description != nullptr) gtk_widget_set_tooltip_text(widget, description);
    }

    struct Caption {
        ObjectId label;
        char key;
        ObjectId field, result;
    };
    const Caption captions[] = {{labels.year, 'Y', year_field, 0},
                                {labels.month, 'M', month_combo, 0},
                                {labels.day, 'D', day_combo, 0},
                                {labels.days_after, 'A', after_count_field, after_result_field},
                                {labels.days_before, 'B', before_count_field, before_result_field}};
    for (const Caption& c : captions) {
        link_label(c.label, focus_widget(c.field));
        if (focus_widget(c.field) != main_widget(c.field)) link_label(c.label, main_widget(c.field));
        if (c.result != 0) link_label(c.label, main_widget(c.result));
        add_mnemonic(c.label, c.key, focus_widget(c.field));
    }
}

void set_main_window_focus_order() {
    const ObjectId editors[] = {year_field, after_count_field, after_result_field, before_count_field,
                                before_result_field};
    for (ObjectId editor : editors) {
        GtkWidget* view = main_widget(editor);
        if (view != nullptr && GTK_IS_TEXT_VIEW(view)) gtk_text_view_set_accepts_tab(GTK_TEXT_VIEW(view), FALSE);
    }

    // A combo box with an entry is one stop: its entry. The arrow beside it
    // stays for the mouse; from the keyboard Alt+Down opens the list.
    const ObjectId combos[] = {month_combo, day_combo};
    for (ObjectId combo : combos) {
        GtkWidget* entry = focus_widget(combo);
        if (entry == nullptr || entry == main_widget(combo)) continue;
        GtkWidget* box = gtk_widget_get_parent(entry);
        if (box == nullptr || box == main_widget(combo) || !GTK_IS_CONTAINER(box)) continue;
        GList* only_entry = g_list_append(nullptr, entry);
        gtk_container_set_focus_chain(GTK_CONTAINER(box), only_entry);
        g_list_free(only_entry);
    }

    GtkWidget* first = placed_widget(year_field);
    if (first == nullptr) return;
    GtkWidget* layout = gtk_widget_get_parent(first);
    if (layout == nullptr || !GTK_IS_CONTAINER(layout)) return;

    const ObjectId order[] = {year_field,         month_combo,   day_combo,           after_count_field,
                              after_button,       after_result_field, before_count_field, before_button,
                              before_result_field, date_calendar, date_input_button,   logo_gadget};
    GList* chain = nullptr;
    for (ObjectId gadget : order) {
        GtkWidget* widget = placed_widget(gadget);
        if (widget != nullptr && gtk_widget_get_parent(widget) == layout) chain = g_list_prepend(chain, widget);
    }
    chain = g_list_reverse(chain);
    gtk_container_set_focus_chain(GTK_CONTAINER(layout), chain);
    g_list_free(chain);
}

void announce_result(ObjectId result_field, DateValue result, const char* note) {
    GtkWidget* field = main_widget(result_field);
    GtkWidget* focus = window_focus(field);
    AtkObject* accessible = accessible_of(focus);
    if (field == nullptr || accessible == nullptr || !GTK_IS_TEXT_VIEW(field)) return;
    if (announcement.accessible != accessible) {
        give_description_back();
        announcement.widget = GTK_WIDGET(g_object_ref(focus));
        announcement.accessible = ATK_OBJECT(g_object_ref(accessible));
        announcement.own_description = g_strdup(atk_object_get_description(accessible));
    }

    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(field));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    const char* row = atk_object_get_name(accessible_of(field));
    // Translators: a result as spoken: the result field's name, then the date
    // or "no date".
    gchar* spoken = g_strdup_printf(_("%s: %s"), row != nullptr ? row : "",
                                    result == DATE_INVALID ? _("no date") : shown);
    // A screen reader speaks a description only when it changed: the same
    // result again differs by a trailing space, which is not heard.
    announcement.variant = !announcement.variant;
    std::string text = std::string(spoken) +
                       (note != nullptr && *note != '\0' ? std::string(", ") + note : "") +
                       (announcement.variant ? "" : " ");
    atk_object_set_description(accessible, text.c_str());
    g_free(spoken);
    g_free(shown);
}

void follow_focus_for_access() {
    if (announcement.widget == nullptr || announcement.give_back_pending ||
        window_focus(announcement.widget) == announcement.widget)
        return;
    // The toolkit tells a screen reader of the new focus from an idle call
    // after the key that moved it; a description given back before that
    // would still be spoken. Later, it is not; if the focus has come back by
    // then, the announcement stays until it leaves again.
    announcement.give_back_pending = true;
    g_timeout_add(GIVE_BACK_DELAY_MS, give_back_after_focus_moved, nullptr);
}
