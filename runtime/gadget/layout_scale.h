// The user's text scale applied to absolute layouts. When the desktop's
// text is set larger than normal (the Xft/gtk-xft-dpi resolution above
// 96 dpi, GDK_DPI_SCALE), window content sizes and gadget positions and
// sizes grow by the same factor, so that the larger text still fits. The
// device scale (GDK_SCALE) is not part of it: the toolkit applies that one.
// Callers keep working in layout units; only the toolkit sees pixels.
#pragma once

#include <cstdint>

// The factor, at least 1.0: the screen's font resolution over 96 dpi, read
// once on first use (after gtk_init) and kept for the life of the process,
// so that every window and gadget agrees on it.
double layout_scale_factor();

// Fixes the factor (values below 1 count as 1); 0 forgets it, so that the
// next use reads the screen's resolution again. For tests and embedders.
void layout_scale_set_factor(double factor);

// Layout units to pixels: value × factor, rounded to the nearest pixel
// (halves away from zero). Negative values other than -1 scale too; -1
// ("no size request" to the toolkit) stays -1.
std::int32_t layout_scale(std::int32_t value);

// Pixels to layout units: the inverse of layout_scale, rounded.
std::int32_t layout_unscale(std::int32_t pixels);
