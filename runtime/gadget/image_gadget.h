// Image gadget: shows a picture (a GdkPixbuf from image_handle) and turns
// clicks and drags on it into EVENT_GADGET events.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

typedef struct _GdkPixbuf GdkPixbuf;

// Creation flags.
constexpr std::int32_t IMAGE_FRAME_SUNKEN = 1; // frame around the image, shadow in
constexpr std::int32_t IMAGE_FRAME_RAISED = 2; // frame with shadow out (wins over sunken)

// Object data on the event box: the click kind pending between a press and
// its release (0 none, 1 left, 2 right, 3 left double, 4 right double).
constexpr const char* IMAGE_KEY_EVENTTYPE = "tda_gadget_eventtype";

// Creates an image gadget in the current gadget list showing `image` (null:
// an empty image of width x height; with an image the gadget takes the
// image's own size). Posts SUBTYPE_LEFT_CLICK / RIGHT_CLICK / *_DOUBLE_CLICK
// when a button is released inside the gadget after a press on it, and
// SUBTYPE_DRAG_START when the left button drags past the toolkit's threshold.
// Result: the id for AUTO_NUMBER, else the GtkImage as an integer; 0 when
// there is no current list or the widgets cannot be made. The gadget takes no
// reference of its own to the image (the GtkImage holds the toolkit's).
// Runs on the thread holding the GDK lock.
ObjectId gadget_image_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             GdkPixbuf* image, std::int32_t flags = 0);
