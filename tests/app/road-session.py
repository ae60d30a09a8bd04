#!/usr/bin/python3
# The whole road as a user takes it, through the accessibility interface:
# the folder's pictures into the basket, a format in Step 2, "Save All ...",
# the destination dialog with a generic name, the run to its end.
# Usage: road-session.py <output-folder> <format text> <generic name>
import subprocess
import sys
import time

import pyatspi

out, format_text, generic = sys.argv[1], sys.argv[2], sys.argv[3]
results = open(out + "/road.txt", "w")


def report(name, value):
    results.write("%s=%s\n" % (name, value))
    results.flush()


def application(timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "Pictrove":
                return app
        time.sleep(0.3)
    return None


def find(node, predicate, lists=False, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if predicate(node):
            return node
        role = node.getRoleName()
        if role in ("tree", "tree table", "table") or (role == "list" and not lists):
            return None
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), predicate, lists, depth + 1)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def wait_for(check, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    return None


def click_on(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)
    time.sleep(0.3)


def button(name):
    return find(app, lambda n: n.getRoleName() == "push button" and n.name == name)


def label_starting(prefix):
    return find(app, lambda n: n.getRoleName() == "label" and n.name.startswith(prefix))


def shot(name):
    subprocess.run(["import", "-window", "root", "%s/road-%s.png" % (out, name)], check=False)


app = application()
report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)
add = wait_for(lambda: button("Add Checked File(s) to Tray"))
wait_for(lambda: label_starting("Selected File(s):") is None and label_starting("Current Directory"))
time.sleep(1)
add.queryAction().doAction(0)
report("basket", (wait_for(lambda: label_starting("Basket: ") and
                  label_starting("Basket: ").name != "Basket: 0 file(s)" and
                  label_starting("Basket: ")) or app).name)

click_on(find(app, lambda n: n.getRoleName() == "page tab" and n.name == "Step 2 : Output Settings"))
formats = wait_for(lambda: find(app, lambda n: n.getRoleName() == "combo box" and
                                "available file formats" in (n.description or "")))
click_on(formats)
item = wait_for(lambda: find(app, lambda n: n.getRoleName() in ("list item", "menu item") and
                             n.name == format_text and
                             n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[2] > 0,
                             lists=True), 5)
if item is not None:
    click_on(item)
report("format", wait_for(lambda: label_starting(format_text) and format_text) or "")

click_on(button("Save All ..."))
dialog = wait_for(lambda: find(app, lambda n: n.getRoleName() in ("dialog", "frame") and
                               n.name == "Select Folder"))
report("dialog", "yes" if dialog else "no")
if dialog is None:
    sys.exit(0)
name_box = find(dialog, lambda n: n.getRoleName() == "text" and
                n.name == "Specify a generic file name")
name_box.queryEditableText().setTextContents(generic)
time.sleep(0.4)
shot("dialog")
select = find(dialog, lambda n: n.getRoleName() == "push button" and n.name == "Select")
report("select-enabled", "yes" if select and select.getState().contains(pyatspi.STATE_ENABLED) else "no")
click_on(select)
time.sleep(0.3)
shot("running")
done = wait_for(lambda: label_starting("Save All: "), 90)
report("summary", done.name if done else "")
time.sleep(0.5)
shot("done")
report("done", "yes")
