// What screen readers, voice control and the keyboard need of gadgets: an
// accessible name and description, a tooltip, a caption tied to what it names
// (with its mnemonic key), a text spoken without moving the focus, the
// keyboard focus and a ring that shows it, single-line and read-only editors,
// and images that work as push buttons.
//
// The object a screen reader lands on for a gadget is its focus object: a
// combo box's entry (the combo box too where both are named), an image's
// event box (the image too), else the gadget's own widget.
//
// Every operation does nothing for an id that names no live gadget, or a
// gadget of another kind where one kind is asked for. Texts are copied.
// Main thread; each takes the GDK lock again around its toolkit work, and
// none posts an event.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// Gives the gadget's focus object (and, for a combo box or an image, its
// other widget too) the accessible `name` and `description`. A null name or
// description leaves that one as it is.
void gadget_set_access(ObjectId gadget, const WideChar* name, const WideChar* description);

// Shows `text` as the tooltip of the gadget's focus object; null or "" takes
// the tooltip away.
void gadget_set_tooltip(ObjectId gadget, const WideChar* text);

// Ties the text gadget `label` to the `count` gadgets in `targets`: each is
// labelled by it and it labels each (the accessible relations LABELLED_BY and
// LABEL_FOR). The label's text marks its mnemonic with "_" ("_Year", "年(_Y)";
// "__" is a literal underscore): from now on the underline shows while Alt
// is held, and Alt with that letter moves the focus to the first target.
// Targets that do not exist are passed over; a label that is no text gadget
// does nothing.
void gadget_set_label_for(ObjectId label, const ObjectId* targets, std::int64_t count);

// Has a screen reader speak `text` (null: nothing happens) without moving the
// focus: the accessible description of the object that has the focus in the
// gadget's window becomes the text, and it gets its own description back
// once the focus has stayed away from it for GADGET_ANNOUNCE_GIVE_BACK_MS.
// The same text twice is spoken twice. Nothing happens when no object of
// that window has the focus.
void gadget_announce(ObjectId gadget, const WideChar* text);

// A description carrying an announced text stays this long after the focus
// left its object: a screen reader learns of a focus change only after the
// key that moved it, and would still speak a description given back sooner.
constexpr unsigned GADGET_ANNOUNCE_GIVE_BACK_MS = 300;

// Moves the keyboard focus to the gadget's focus object.
void gadget_set_focus(ObjectId gadget);

// From now on the gadget shows a ring in the theme's selection colour while
// it has the keyboard focus: inside the area of a text field or calendar, as
// the frame's colour of an image. For kinds whose theme shows little or no
// focus; the calendar's own dotted day cursor is no longer drawn.
void gadget_set_focus_ring(ObjectId gadget);

// Makes an editor a single-line field, for good: Return and Enter post
// SUBTYPE_ENTER_KEY instead of breaking the line, an inserted or pasted text
// keeps its first line, and a screen reader hears "single line".
void gadget_editor_set_single_line(ObjectId editor);

// Makes an editor read-only (its text can still be selected and copied, and
// the program still sets it) or, with false, editable again. A screen reader
// hears "read only".
void gadget_editor_set_read_only(ObjectId editor, bool read_only);

// Makes an image gadget a push button for the keyboard and for assistive
// technology: it takes the keyboard focus, where Return, Enter and Space post
// what a left click posts, and its accessible object has the push-button role
// and one action, "click", which posts EVENT_GADGET with SUBTYPE_LEFT_CLICK.
void gadget_image_set_button(ObjectId image);
