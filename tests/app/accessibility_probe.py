#!/usr/bin/python3
"""Reads the running calculator's accessibility tree over AT-SPI: names,
roles, descriptions and label relations, then types a calculation with real
key presses (xdotool) and reads the announced result back."""
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


app = find_app("com.example.TovamiDaysAfter")
check(app is not None, "the program shows up on the accessibility bus")
if app is None:
    sys.exit(1)
nodes = walk(app, [])

R = Atspi.Role
# GtkImage widgets are announced as icons: the small logo is one.
expected = [
    ("Year", R.TEXT), ("Month", R.COMBO_BOX), ("Month", R.TEXT), ("Day", R.COMBO_BOX), ("Day", R.TEXT),
    ("Days after", R.TEXT), ("Date after", R.TEXT), ("Days before", R.TEXT), ("Date before", R.TEXT),
    ("Compute date after", R.PUSH_BUTTON), ("Compute date before", R.PUSH_BUTTON),
    ("Copy calendar date", R.PUSH_BUTTON), ("Calendar", R.CALENDAR), ("About TovamiDaysAfter", R.ICON),
]
found = {}
for name, role in expected:
    hits = by_name(nodes, name, role)
    if not hits:
        print("  named so:", [n.get_role_name() for n in by_name(nodes, name)])
    check(len(hits) == 1, f'one {role.value_nick} named "{name}" (found {len(hits)})')
    if hits:
        found[(name, role)] = hits[0]
        check(bool(hits[0].get_description()), f'"{name}" has a description')

# No button is announced by its bare caption alone.
check(not by_name(nodes, "push", R.PUSH_BUTTON), 'no button announced only as "push"')

# The fields are labelled by the captions beside them.
for field, caption in [("Year", "Year"), ("Month", "Month"), ("Day", "Day"),
                       ("Days after", "days after"), ("Days before", "days before")]:
    node = found.get((field, R.TEXT))
    labels = []
    if node is not None:
        for relation in node.get_relation_set():
            if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
                labels += [relation.get_target(i) for i in range(relation.get_n_targets())]
    check(any(t.get_role() == R.LABEL and t.get_name() == caption for t in labels),
          f'"{field}" is labelled by the caption "{caption}"')

# A calculation typed with real keys; the result is read back and announced.
announced = []


def on_text_changed(event):
    try:
        if event.source.get_name() == "Date after":
            announced.append(str(event.any_data))
    except GLib.Error:
        pass


listener = Atspi.EventListener.new(on_text_changed)
listener.register("object:text-changed:insert")

type_into(found[("Year", R.TEXT)], "2024")
type_into(found[("Month", R.TEXT)], "2")
type_into(found[("Day", R.TEXT)], "28")
type_into(found[("Days after", R.TEXT)], "1")
x, y = centre(found[("Compute date after", R.PUSH_BUTTON)])
xdotool("mousemove", str(x), str(y), "click", "1")

context = GLib.MainContext.default()
deadline = time.monotonic() + 5
while time.monotonic() < deadline and text_of(found[("Date after", R.TEXT)]) != "2024/02/29":
    context.iteration(False)
    time.sleep(0.05)
deadline = time.monotonic() + 3
while time.monotonic() < deadline and "2024/02/29" not in announced:
    context.iteration(False)
    time.sleep(0.05)
listener.deregister("object:text-changed:insert")

check(text_of(found[("Year", R.TEXT)]) == "2024", "Year reads 2024 after typing")
result = text_of(found[("Date after", R.TEXT)])
check(result == "2024/02/29", f'"Date after" reads 2024/02/29 (reads {result!r})')
check("2024/02/29" in announced, f'"Date after" announced its new text (heard {announced!r})')

sys.exit(1 if failures else 0)
