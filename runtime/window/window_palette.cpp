// Text and field colours pinned to a window's own background colour, so that
// a theme (a dark one, a high-contrast one) cannot put its own text colour on
// a background the theme did not choose.
#include "runtime/window/window_internal.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr const char* WINDOW_KEY_PALETTE = "tda_palette";

// Colours of the default light and dark look: text placed straight on the
// window, and the text and ground of editable fields.
struct Palette {
    const char* text;
    const char* field_text;
    const char* field_back;
};
constexpr Palette LIGHT_GROUND{"#2e3436", "#000000", "#ffffff"};
constexpr Palette DARK_GROUND{"#eeeeec", "#ffffff", "#2d2d2d"};
constexpr double LIGHT_TEXT_LUMINANCE = 0.8469; // #eeeeec
constexpr double DARK_TEXT_LUMINANCE = 0.0331;  // #2e3436

double linear(std::uint32_t component) {
    double c = component / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// WCAG relative luminance of a packed 0x00BBGGRR colour.
double luminance(std::uint32_t bits) {
    return 0.2126 * linear(bits & 0xFF) + 0.7152 * linear((bits >> 8) & 0xFF) + 0.0722 * linear((bits >> 16) & 0xFF);
}

// The palette whose text stands out more on the given ground.
const Palette& palette_for(std::uint32_t bits) {
    double ground = luminance(bits);
    double dark_text = (ground + 0.05) / (DARK_TEXT_LUMINANCE + 0.05);
    double light_text = (LIGHT_TEXT_LUMINANCE + 0.05) / (ground + 0.05);
    return dark_text >= light_text ? LIGHT_GROUND : DARK_GROUND;
}

// The window's style sheet: added to its screen at application priority,
// removed again when the window goes (object-data destroy notify).
struct PinnedStyle {
    GtkCssProvider* provider;
    GdkScreen* screen;
    std::string css_class;
};

void pinned_style_free(gpointer data) noexcept {
    auto* style = static_cast<PinnedStyle*>(data);
    gtk_style_context_remove_provider_for_screen(style->screen, GTK_STYLE_PROVIDER(style->provider));
    g_object_unref(style->provider);
    delete style;
}

// Rules for the gadget layout carrying `css_class`. A text gadget is a label
// in an event box in a box; the label takes its colour from the event box,
// where the gadget's own text colour goes too. Fields are text views and the
// entries of combo boxes. Buttons and the calendar paint their own ground and
// keep the theme's pairing of text and ground.
std::string style_sheet(const std::string& css_class, const Palette& p) {
    const std::string d = "." + css_class + " ";
    return d + "> box > widget { color: " + p.text + "; }\n" + d + "textview text, " + d +
           "entry { color: " + p.field_text + "; background-color: " + p.field_back + "; }\n";
}

} // namespace

void window_pin_palette(GtkWindow* window, std::int32_t colour) {
    auto* style = static_cast<PinnedStyle*>(g_object_get_data(G_OBJECT(window), WINDOW_KEY_PALETTE));
    auto* layout = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), WINDOW_KEY_GADGETLIST));
    if (!layout) return; // no gadgets, nothing to pin
    GtkStyleContext* context = gtk_widget_get_style_context(layout);
    if (style) gtk_style_context_remove_class(context, style->css_class.c_str());
    if (colour == -1) {
        g_object_set_data(G_OBJECT(window), WINDOW_KEY_PALETTE, nullptr); // frees the style
        return;
    }
    if (!style) {
        style = new PinnedStyle{gtk_css_provider_new(), gtk_window_get_screen(window), {}};
        gtk_style_context_add_provider_for_screen(style->screen, GTK_STYLE_PROVIDER(style->provider),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_set_data_full(G_OBJECT(window), WINDOW_KEY_PALETTE, style, pinned_style_free);
    }
    auto bits = static_cast<std::uint32_t>(colour) & 0xFFFFFF;
    char name[32];
    std::snprintf(name, sizeof name, "tda-palette-%02x%02x%02x", bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF);
    style->css_class = name;
    gtk_css_provider_load_from_data(style->provider, style_sheet(style->css_class, palette_for(bits)).c_str(), -1,
                                    nullptr);
    gtk_style_context_add_class(context, name);
}
