#!/usr/bin/python3
"""Reads the running calculator's accessibility tree over AT-SPI: role, name,
states and label per control, then computes with real key presses (xdotool)
and checks the events that speak the result to a screen reader."""
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

failures = []


def check(ok, what):
    print(("ok:   " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def find_app(name):
    desktop = Atspi.get_desktop(0)
    for _ in range(100):
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == name:
                return app
        time.sleep(0.1)
    return None


def walk(node, out):
    try:
        out.append(node)
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                walk(child, out)
    except GLib.Error:
        pass
    return out


def by_name(nodes, name, role=None):
    return [n for n in nodes if n.get_name() == name and (role is None or n.get_role() == role)]


def centre(node):
    box = node.get_extents(Atspi.CoordType.SCREEN)
    return box.x + min(20, box.width // 4), box.y + box.height // 2


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def type_into(node, text):
    x, y = centre(node)
    xdotool("mousemove", str(x), str(y), "click", "1")
    time.sleep(0.1)
    xdotool("key", "ctrl+a", "BackSpace")
    if text:
        xdotool("type", "--delay", "30", text)
    time.sleep(0.1)


def text_of(node):
    return Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))


app = find_app("TovamiDaysAfter")
check(app is not None, 'the program shows up on the accessibility bus as "TovamiDaysAfter"')
if app is None:
    sys.exit(1)
nodes = walk(app, [])

R = Atspi.Role
S = Atspi.StateType
FIELD = {S.FOCUSABLE, S.SINGLE_LINE, S.EDITABLE}
RESULT = {S.FOCUSABLE, S.SINGLE_LINE, S.READ_ONLY, S.SELECTABLE_TEXT}
# role, name, states it has, states it lacks, the caption it is labelled by
expected = [
    (R.TEXT, "Year", FIELD, {S.MULTI_LINE}, "Year"),
    (R.COMBO_BOX, "Month", set(), set(), "Month"),
    (R.TEXT, "Month", FIELD, {S.MULTI_LINE}, "Month"),
    (R.COMBO_BOX, "Day", set(), set(), "Day"),
    (R.TEXT, "Day", FIELD, {S.MULTI_LINE}, "Day"),
    (R.TEXT, "Days after", FIELD, {S.MULTI_LINE}, "days after"),
    (R.TEXT, "Date after", RESULT, {S.MULTI_LINE, S.EDITABLE}, "days after"),
    (R.TEXT, "Days before", FIELD, {S.MULTI_LINE}, "days before"),
    (R.TEXT, "Date before", RESULT, {S.MULTI_LINE, S.EDITABLE}, "days before"),
    (R.PUSH_BUTTON, "push, date after", {S.FOCUSABLE}, set(), None),
    (R.PUSH_BUTTON, "push, date before", {S.FOCUSABLE}, set(), None),
    (R.PUSH_BUTTON, "日付入力, copy calendar date", {S.FOCUSABLE}, set(), None),
    (R.PUSH_BUTTON, "About TovamiDaysAfter", {S.FOCUSABLE}, set(), None),
    (R.CALENDAR, None, {S.FOCUSABLE}, set(), None),  # named by its selected day
]
found = {}
for role, name, has, lacks, caption in expected:
    hits = [n for n in nodes if n.get_role() == role and (name is None or n.get_name() == name)]
    what = f'{role.value_nick} "{name}"'
    check(len(hits) == 1, f"one {what} (found {len(hits)})")
    if len(hits) != 1:
        continue
    node = found[(role, name)] = hits[0]
    states = node.get_state_set()
    check(bool(node.get_description()), f"{what} has a description")
    check(all(states.contains(x) for x in has) and not any(states.contains(x) for x in lacks),
          f"{what} has {sorted(x.value_nick for x in has)}, lacks {sorted(x.value_nick for x in lacks)}")
    labels = [r.get_target(i) for r in node.get_relation_set()
              if r.get_relation_type() == Atspi.RelationType.LABELLED_BY for i in range(r.get_n_targets())]
    if caption is not None:
        check(any(t.get_role() == R.LABEL and t.get_name() == caption for t in labels),
              f'{what} is labelled by "{caption}"')
day = found.get((R.CALENDAR, None))
check(day is not None and day.get_name()[-4:].isdigit(), "the calendar's name ends with the selected year")

# A result is spoken without moving the focus: the focused count field's
# description carries it, and goes back once the focus has left.
spoken = []


def on_description(event):
    try:
        if event.source.get_state_set().contains(S.FOCUSED):
            spoken.append((event.source.get_name(), str(event.any_data)))
    except GLib.Error:
        pass


listener = Atspi.EventListener.new(on_description)
listener.register("object:property-change:accessible-description")
context = GLib.MainContext.default()


def heard(name, words, seconds=5):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        context.iteration(False)
        if any(n == name and words in d for n, d in spoken):
            return True
        time.sleep(0.05)
    return False


count = found[(R.TEXT, "Days after")]
type_into(found[(R.TEXT, "Year")], "2024")
type_into(found[(R.TEXT, "Month")], "2")
type_into(found[(R.TEXT, "Day")], "28")
type_into(count, "1")
xdotool("key", "Return")
check(heard("Days after", "2024/02/29, Thursday"), f'Return in "Days after" spoke 2024/02/29, Thursday (heard {spoken!r})')
check(text_of(found[(R.TEXT, "Date after")]) == "2024/02/29", '"Date after" reads 2024/02/29')
type_into(found[(R.TEXT, "Day")], "30")
type_into(count, "1")
xdotool("key", "Return")
check(heard("Days after", "no date"), f'an invalid date spoke "no date" (heard {spoken!r})')
xdotool("key", "Tab")
deadline = time.monotonic() + 3
while time.monotonic() < deadline and count.get_description() != "Number of days to add to the start date":
    context.iteration(False)
    time.sleep(0.05)
check(count.get_description() == "Number of days to add to the start date",
      f'"Days after" has its own description back once left (has {count.get_description()!r})')
listener.deregister("object:property-change:accessible-description")

# The logo is pressed as any button is: its one action, "click", opens the
# about box, whose OK button closes it again.
logo = found.get((R.PUSH_BUTTON, "About TovamiDaysAfter"))
actions = [Atspi.Action.get_action_name(logo, i) for i in range(Atspi.Action.get_n_actions(logo))] if logo else []
check(actions == ["click"], f'the logo has the one action "click" (has {actions!r})')


def about_boxes(seconds, wanted):
    deadline = time.monotonic() + seconds
    while True:
        boxes = [n for n in walk(app, []) if n.get_role() in (R.ALERT, R.DIALOG)]
        if bool(boxes) == wanted or time.monotonic() > deadline:
            return boxes
        time.sleep(0.1)


if actions == ["click"]:
    Atspi.Action.do_action(logo, 0)
    boxes = about_boxes(5, True)
    check(bool(boxes), '"click" on the logo opened the about box')
    for ok in [n for box in boxes for n in walk(box, []) if n.get_role() == R.PUSH_BUTTON][:1]:
        Atspi.Action.do_action(ok, 0)
    check(not about_boxes(5, False), "the about box closed with its OK button")

sys.exit(1 if failures else 0)
