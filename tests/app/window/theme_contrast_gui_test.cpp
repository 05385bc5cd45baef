// The calculator under four desktop themes: every text in its window (labels,
// field texts, results, button labels, the calendar) keeps a WCAG contrast of
// at least 4.5:1 against the background it is drawn on, and under the default
// theme the window looks as it did before the colours were pinned.
//
// The themes are switched at run time through the toolkit's settings, which
// loads the same style sheets as GTK_THEME=name[:variant] at start-up. Each
// row leaves a screenshot of the gadget area, theme_<row>.png, in the build
// directory. TDA_WRITE_REFERENCE=1 rewrites the default theme's reference
// image in the source tree instead of comparing with it.
#include "app_test_support.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

using namespace tda_app_test;

namespace {

struct ThemeRow {
    const char* row;   // file-name part and trace label
    const char* theme; // gtk-theme-name
    bool dark;         // gtk-application-prefer-dark-theme (the ":dark" variant)
};

constexpr ThemeRow THEMES[] = {
    {"default", "Adwaita", false},
    {"adwaita-dark", "Adwaita", true},
    {"high-contrast", "HighContrast", false},
    {"high-contrast-inverse", "HighContrastInverse", false},
};

constexpr double MIN_CONTRAST = 4.5;

std::string env_or(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

double linear(int channel) {
    double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(std::uint32_t rgb) {
    return 0.2126 * linear((rgb >> 16) & 0xFF) + 0.7152 * linear((rgb >> 8) & 0xFF) + 0.0722 * linear(rgb & 0xFF);
}

double contrast(std::uint32_t a, std::uint32_t b) {
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::uint32_t pixel(GdkPixbuf* shot, int x, int y) {
    const guchar* p =
        gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) + x * gdk_pixbuf_get_n_channels(shot);
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

struct Measure {
    std::uint32_t background = 0; // the most frequent colour of the box
    std::uint32_t ink = 0;        // a text pixel of the strongest contrast
    int ink_pixels = 0;           // pixels clearly apart from the background
    double ratio = 0;
};

// Background = the box's most frequent colour; text colour = the third most
// contrasting pixel (so a stray pixel cannot carry the result).
Measure measure_box(GdkPixbuf* shot, GdkRectangle box) {
    std::map<std::uint32_t, int> counts;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x)
            ++counts[pixel(shot, x, y)];
    Measure m;
    int best = -1;
    for (const auto& [colour, n] : counts)
        if (n > best) best = n, m.background = colour;
    std::vector<std::pair<double, std::uint32_t>> ranked;
    for (const auto& [colour, n] : counts) {
        double c = contrast(colour, m.background);
        if (c >= 1.5) m.ink_pixels += n;
        for (int i = 0; i < std::min(n, 3); ++i)
            ranked.emplace_back(c, colour);
    }
    std::sort(ranked.rbegin(), ranked.rend());
    if (ranked.size() >= 3) {
        m.ink = ranked[2].second;
        m.ratio = ranked[2].first;
    }
    return m;
}

struct Element {
    std::string name;
    GtkWidget* widget;
    int inset; // keeps borders and rounded corners out of the box
};

void add_labels(GtkWidget* widget, std::vector<Element>& out) {
    if (GTK_IS_BUTTON(widget)) return; // button labels are measured on the button's face
    if (GTK_IS_LABEL(widget)) {
        out.push_back({std::string("label \"") + gtk_label_get_text(GTK_LABEL(widget)) + "\"", widget, 0});
        return;
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c != nullptr; c = c->next)
            add_labels(GTK_WIDGET(c->data), out);
        g_list_free(children);
    }
}

// Every text element of the window, with the widget whose box holds it.
std::vector<Element> text_elements(GtkWidget* layout) {
    std::vector<Element> out;
    add_labels(layout, out);
    auto entry = [](ObjectId combo) { return gtk_bin_get_child(GTK_BIN(widget_of(combo))); };
    const Element fields[] = {
        {"year field", widget_of(year_field), 1},
        {"month field", entry(month_combo), 3},
        {"day field", entry(day_combo), 3},
        {"days-after count", widget_of(after_count_field), 1},
        {"days-after result", widget_of(after_result_field), 1},
        {"days-before count", widget_of(before_count_field), 1},
        {"days-before result", widget_of(before_result_field), 1},
        {"button \"push\" (after)", widget_of(after_button), 4},
        {"button \"push\" (before)", widget_of(before_button), 4},
        {"button \"　日付入力\"", widget_of(date_input_button), 4},
        {"calendar", widget_of(date_calendar), 2},
    };
    out.insert(out.end(), std::begin(fields), std::end(fields));
    return out;
}

GdkRectangle box_in(GtkWidget* layout, const Element& e) {
    GtkAllocation a;
    gtk_widget_get_allocation(e.widget, &a);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(e.widget, layout, 0, 0, &x, &y);
    return GdkRectangle{x + e.inset, y + e.inset, a.width - 2 * e.inset, a.height - 2 * e.inset};
}

// Share of pixels whose largest channel difference exceeds 40, and the mean
// channel difference; -1 when the sizes differ.
std::pair<double, double> difference(GdkPixbuf* a, GdkPixbuf* b) {
    int w = gdk_pixbuf_get_width(a), h = gdk_pixbuf_get_height(a);
    if (w != gdk_pixbuf_get_width(b) || h != gdk_pixbuf_get_height(b)) return {-1, -1};
    long off = 0;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = pixel(a, x, y), q = pixel(b, x, y);
            int worst = 0;
            for (int s = 0; s < 24; s += 8) {
                int d = std::abs(static_cast<int>((p >> s) & 0xFF) - static_cast<int>((q >> s) & 0xFF));
                worst = std::max(worst, d);
                sum += d;
            }
            if (worst > 40) ++off;
        }
    return {static_cast<double>(off) / (w * h), sum / (3.0 * w * h)};
}

// Switches the theme and waits until the window has drawn it: a frame was
// painted after the switch, and none followed for 100 ms.
void switch_theme(const ThemeRow& row) {
    using Clock = std::chrono::steady_clock;
    GtkWidget* top = gtk_widget_get_toplevel(widget_of(date_calendar));
    GdkFrameClock* frames = gtk_widget_get_frame_clock(top);
    Clock::time_point painted{};
    const gulong handler = g_signal_connect(frames, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer at) {
                                                *static_cast<Clock::time_point*>(at) = Clock::now();
                                            }),
                                            &painted);
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", row.theme, "gtk-application-prefer-dark-theme",
                 row.dark ? TRUE : FALSE, nullptr);
    gtk_widget_queue_draw(top);
    EXPECT_TRUE(run_loop(5000, [&] {
        return painted != Clock::time_point{} && Clock::now() - painted > std::chrono::milliseconds(100);
    })) << "no frame drawn in the theme within 5 s";
    g_signal_handler_disconnect(frames, handler);
}

TEST(ThemeContrast, EveryTextIsReadableUnderEachThemeAndTheDefaultLookIsKept) {
    unsetenv("GTK_THEME"); // the settings choose the theme below
    ASSERT_TRUE(tda_test::display_start()) << "no display";
    tda_test::gui_runtime_start();
    ASSERT_TRUE(tda_test::window_manager_start()) << "no window manager (openbox) on the display";
    ASSERT_TRUE(start_calculator());
    g_object_set(gtk_settings_get_default(), "gtk-cursor-blink", FALSE, nullptr);

    // A fixed day, and text in every field.
    GtkWidget* calendar = widget_of(date_calendar);
    gtk_calendar_select_month(GTK_CALENDAR(calendar), 11, 2026);
    gtk_calendar_select_day(GTK_CALENDAR(calendar), 7);
    fill_date_from_calendar();
    gadget_set_text(after_count_field, u"10");
    gadget_set_text(before_count_field, u"10");
    compute_date_after(0);
    compute_date_before(0);
    ASSERT_EQ(text_of(after_result_field), "2026/12/17");
    tda_test::xtest_move(0, 0);

    GtkWidget* layout = gtk_widget_get_ancestor(widget_of(date_calendar), GTK_TYPE_LAYOUT);
    ASSERT_TRUE(GTK_IS_LAYOUT(layout));
    const std::vector<Element> elements = text_elements(layout);
    ASSERT_EQ(elements.size(), 21u) << "ten labels, seven fields, three buttons, the calendar";

    const std::string build_dir = env_or("TDA_BINARY_DIR", ".");
    const std::string reference = env_or("TDA_SOURCE_DIR", ".") + "/tests/app/window/data/default_theme_layout.png";
    std::printf("%-34s %-22s %8s\n", "element", "theme", "contrast");
    for (const ThemeRow& row : THEMES) {
        SCOPED_TRACE(row.row);
        switch_theme(row);
        GtkAllocation a;
        gtk_widget_get_allocation(layout, &a);
        GdkPixbuf* shot =
            gdk_pixbuf_get_from_window(gtk_layout_get_bin_window(GTK_LAYOUT(layout)), 0, 0, a.width, a.height);
        ASSERT_NE(shot, nullptr) << "no pixels of the gadget area";
        gdk_pixbuf_save(shot, (build_dir + "/theme_" + row.row + ".png").c_str(), "png", nullptr, nullptr);

        for (const Element& e : elements) {
            Measure m = measure_box(shot, box_in(layout, e));
            std::printf("%-34s %-22s %8.2f  (text #%06x on #%06x)\n", e.name.c_str(), row.row, m.ratio, m.ink,
                        m.background);
            EXPECT_GE(m.ink_pixels, 6) << e.name << ": no text found in its box";
            EXPECT_GE(m.ratio, MIN_CONTRAST) << e.name << ": text #" << std::hex << m.ink << " on #" << m.background;
        }

        if (std::string(row.row) == "default") {
            if (std::getenv("TDA_WRITE_REFERENCE")) {
                ASSERT_TRUE(gdk_pixbuf_save(shot, reference.c_str(), "png", nullptr, nullptr)) << reference;
            } else {
                GdkPixbuf* before = gdk_pixbuf_new_from_file(reference.c_str(), nullptr);
                ASSERT_NE(before, nullptr) << "cannot read " << reference;
                auto [share, mean] = difference(shot, before);
                EXPECT_GE(share, 0) << "the gadget area's size changed";
                EXPECT_LE(share, 0.002) << "share of pixels that differ from " << reference;
                EXPECT_LE(mean, 0.5) << "mean channel difference from " << reference;
                g_object_unref(before);
            }
        }
        g_object_unref(shot);
    }
}

} // namespace
