// Accessible names, descriptions and label relations of the main window, and
// its keyboard focus order.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // gtk_container_set_focus_chain

#include "app/accessibility.h"

#include "app/calculator.h"
#include "runtime/gadget/gadget.h"

#include <gtk/gtk.h>

#include <initializer_list>

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

void name_widget(GtkWidget* widget, const char* name, const char* description) {
    if (widget == nullptr) return;
    AtkObject* accessible = gtk_widget_get_accessible(widget);
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

// The widget a screen reader lands on for a gadget: a combo box's entry, else
// the main widget.
GtkWidget* focus_widget(ObjectId gadget) {
    GtkWidget* widget = main_widget(gadget);
    if (widget != nullptr && GTK_IS_COMBO_BOX(widget) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(widget)))
        return gtk_bin_get_child(GTK_BIN(widget));
    return widget;
}

void link_label(ObjectId label, ObjectId field) {
    if (label == 0) return;
    GtkWidget* label_widget = main_widget(label);
    GtkWidget* field_widget = focus_widget(field);
    if (label_widget == nullptr || field_widget == nullptr) return;
    AtkObject* label_access = gtk_widget_get_accessible(label_widget);
    AtkObject* field_access = gtk_widget_get_accessible(field_widget);
    if (label_access == nullptr || field_access == nullptr) return;
    atk_object_add_relationship(field_access, ATK_RELATION_LABELLED_BY, label_access);
    atk_object_add_relationship(label_access, ATK_RELATION_LABEL_FOR, field_access);
}

} // namespace

void describe_main_window_for_access(const MainWindowLabels& labels) {
    name_gadget(year_field, "Year", "Year of the start date");
    name_gadget(month_combo, "Month", "Month of the start date");
    name_gadget(day_combo, "Day", "Day of the start date");
    name_gadget(after_count_field, "Days after", "Number of days to add to the start date");
    name_gadget(after_result_field, "Date after", "The start date plus the days after");
    name_gadget(after_button, "Compute date after", "Shows the start date plus the days after in Date after");
    name_gadget(before_count_field, "Days before", "Number of days to take from the start date");
    name_gadget(before_result_field, "Date before", "The start date minus the days before");
    name_gadget(before_button, "Compute date before",
                "Shows the start date minus the days before in Date before");
    name_gadget(date_calendar, "Calendar", "Pick a day to copy into Year, Month and Day");
    name_gadget(date_input_button, "Copy calendar date",
                "Copies the day picked in the calendar into Year, Month and Day");
    name_gadget(logo_gadget, "About TovamiDaysAfter", "Click to show the about box");
    name_gadget(banner_gadget, "TovamiDaysAfter", nullptr);

    // Where a caption alone says little ("push", "　日付入力", a picture), the
    // description shows as a tooltip too.
    for (ObjectId gadget : {after_button, before_button, date_input_button, logo_gadget}) {
        GtkWidget* widget = main_widget(gadget);
        if (widget == nullptr) continue;
        const char* description = atk_object_get_description(gtk_widget_get_accessible(widget));
        if (description != nullptr) gtk_widget_set_tooltip_text(widget, description);
    }

    link_label(labels.year, year_field);
    link_label(labels.month, month_combo);
    link_label(labels.day, day_combo);
    link_label(labels.days_after, after_count_field);
    link_label(labels.days_before, before_count_field);
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

    const ObjectId order[] = {year_field,         month_combo,   day_combo,     after_count_field, after_button,
                              before_count_field, before_button, date_calendar, date_input_button};
    GList* chain = nullptr;
    for (ObjectId gadget : order) {
        GtkWidget* widget = placed_widget(gadget);
        if (widget != nullptr && gtk_widget_get_parent(widget) == layout) chain = g_list_prepend(chain, widget);
    }
    chain = g_list_reverse(chain);
    gtk_container_set_focus_chain(GTK_CONTAINER(layout), chain);
    g_list_free(chain);
}
