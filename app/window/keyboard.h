// The calculator from the keyboard: single-line fields, Enter, read-only
// results, a visible focus, the closing keys and the start-up focus.
#pragma once

// Makes the five editors single-line (Enter posts SUBTYPE_ENTER_KEY instead of
// a line break; a pasted text keeps its first line), the two result fields
// read-only but selectable, shows a focus ring on a focused field, the
// calendar or the logo, makes the logo a push button (focusable, with the
// action "click"), binds Ctrl+W and Ctrl+Q to the close request of the main
// window, and puts the focus into the days-after count field. Call once after
// the window's gadgets exist; gadgets that do not exist are passed over.
// Main thread, GDK lock held.
void set_up_main_window_keyboard();
