// Keyboard behaviour of the main window.
#include "app/window/keyboard.h"

#include "app/window/calculator.h"
#include "runtime/gadget/gadget_access.h"
#include "runtime/window/window.h"

#include <initializer_list>

void set_up_main_window_keyboard() {
    for (ObjectId field :
         {year_field, after_count_field, after_result_field, before_count_field, before_result_field}) {
        gadget_editor_set_single_line(field);
        gadget_set_focus_ring(field);
    }
    for (ObjectId result : {after_result_field, before_result_field})
        gadget_editor_set_read_only(result, true);
    gadget_set_focus_ring(date_calendar);
    // The logo takes the focus (after the date input button) and opens the
    // about box on Return, Space or a screen reader's "click".
    gadget_image_set_button(logo_gadget);
    gadget_set_focus_ring(logo_gadget);
    window_bind_close_keys(main_window);
    gadget_set_focus(after_count_field);
}
