// Vertical centring of a single-line editor's text.
#pragma once

#include <gtk/gtk.h>

// Keeps the one line of the text view `view` (an editor gadget's main widget,
// inside its scrolled window) vertically centred in the box, at every size
// and font: its top margin follows each allocation. A second call, or a view
// that is not in a scrolled window, does nothing. Main thread, GDK lock held.
void editor_centre_line(GtkWidget* view);
