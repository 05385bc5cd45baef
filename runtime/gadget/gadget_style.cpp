// Colour values and the colour and font treatment shared by the gadget kinds.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/gadget.h"

#include <gtk/gtk.h>

namespace {

// Inverted components this close to grey would hide the text; they become 0.4.
constexpr double INVERSE_LOW = 0.4;
constexpr double INVERSE_HIGH = 0.6;

void override_colours(GtkWidget* widget, std::int32_t selector, const GdkRGBA* normal, const GdkRGBA* inverse) {
    if (selector == COLOR_FRONT) {
        gtk_widget_override_color(widget, GTK_STATE_FLAG_NORMAL, normal);
        return;
    }
    gtk_widget_override_background_color(widget, GTK_STATE_FLAG_NORMAL, normal);
    gtk_widget_override_background_color(widget, GTK_STATE_FLAG_SELECTED, inverse);
    gtk_widget_override_color(widget, GTK_STATE_FLAG_SELECTED, normal);
}

} // namespace

std::int64_t rgb(std::int64_t red, std::int64_t green, std::int64_t blue) {
    auto packed = static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
                  (static_cast<std::uint32_t>(blue) << 16);
    return static_cast<std::int32_t>(packed);
}

GadgetColorPair gadget_color_pair(std::int32_t colour) {
    auto bits = static_cast<std::uint32_t>(colour);
    GadgetColorPair pair{};
    for (int i = 0; i < 3; ++i) {
        double component = ((bits >> (8 * i)) & 0xFF) / 255.0;
        double inverse = 1.0 - component;
        if (inverse > INVERSE_LOW && inverse < INVERSE_HIGH) inverse = INVERSE_LOW;
        pair.normal[i] = component;
        pair.inverse[i] = inverse;
    }
    return pair;
}

void gadget_apply_color(GadgetRecord* g, GtkWidget* widget, std::int32_t selector, std::int32_t colour) {
    if (selector == COLOR_FRONT)
        g->data1 = static_cast<std::intptr_t>(colour) + 1;
    else if (selector == COLOR_BACK)
        g->data2 = static_cast<std::intptr_t>(colour) + 1;
    else
        return;

    GdkRGBA normal{}, inverse{};
    const GdkRGBA* normal_p = nullptr;
    const GdkRGBA* inverse_p = nullptr;
    if (colour != -1) {
        GadgetColorPair pair = gadget_color_pair(colour);
        normal = GdkRGBA{pair.normal[0], pair.normal[1], pair.normal[2], 1.0};
        inverse = GdkRGBA{pair.inverse[0], pair.inverse[1], pair.inverse[2], 1.0};
        normal_p = &normal;
        inverse_p = &inverse;
    }
    override_colours(widget, selector, normal_p, inverse_p);
    if (selector == COLOR_BACK && g->outer) override_colours(g->outer, selector, normal_p, inverse_p);
}

std::int64_t gadget_stored_color(const GadgetRecord* g, std::int32_t selector) {
    if (selector == COLOR_FRONT) return static_cast<std::int64_t>(g->data1) - 1;
    if (selector == COLOR_BACK) return static_cast<std::int64_t>(g->data2) - 1;
    return -1;
}

void gadget_widget_set_font(GtkWidget* widget, PangoFontDescription* font) {
    // The widget owns a copy, freed when replaced or when the widget goes.
    g_object_set_data_full(G_OBJECT(widget), GADGET_KEY_FONT, font ? pango_font_description_copy(font) : nullptr,
                           font ? reinterpret_cast<GDestroyNotify>(pango_font_description_free) : nullptr);
    gtk_widget_override_font(widget, font);
}

PangoFontDescription* gadget_widget_get_font(GtkWidget* widget) {
    auto* font = static_cast<PangoFontDescription*>(g_object_get_data(G_OBJECT(widget), GADGET_KEY_FONT));
    if (font) return font;
    GtkStyleContext* context = gtk_widget_get_style_context(widget);
    return const_cast<PangoFontDescription*>(gtk_style_context_get_font(context, GTK_STATE_FLAG_NORMAL));
}
