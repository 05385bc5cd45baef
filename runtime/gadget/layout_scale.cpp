// The text-scale factor of absolute layouts, read from the screen's font
// resolution.
#include "runtime/gadget/layout_scale.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double NORMAL_DPI = 96.0;

double factor = 0.0; // 0 = not read yet

double read_factor() {
    GdkScreen* screen = gdk_screen_get_default();
    double dpi = screen ? gdk_screen_get_resolution(screen) : -1.0;
    if (!(dpi > NORMAL_DPI)) return 1.0;
    return dpi / NORMAL_DPI;
}

} // namespace

double layout_scale_factor() {
    if (factor == 0.0) factor = read_factor();
    return factor;
}

void layout_scale_set_factor(double value) {
    factor = value == 0.0 ? 0.0 : std::max(1.0, value);
}

std::int32_t layout_scale(std::int32_t value) {
    double f = layout_scale_factor();
    if (value == -1 || f == 1.0) return value;
    return static_cast<std::int32_t>(std::lround(value * f));
}

std::int32_t layout_unscale(std::int32_t pixels) {
    double f = layout_scale_factor();
    if (pixels == -1 || f == 1.0) return pixels;
    return static_cast<std::int32_t>(std::lround(pixels / f));
}
