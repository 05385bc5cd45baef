// The image gadget's event box, which can become a push button for the
// keyboard and for assistive technology (gadget_image_set_button).
#pragma once

typedef struct _GtkWidget GtkWidget;

// A new event box (floating, like gtk_event_box_new) whose accessible object
// offers the action "click" once the gadget is made a button; until then it
// is an event box like any other. Null when it cannot be made.
GtkWidget* image_button_box_new();
