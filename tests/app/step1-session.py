#!/usr/bin/python3
# Drives the real program through the desktop's accessibility interface, as
# a person would: reads the folder list, clicks toolbar buttons by their
# text, reads the basket and the status bar, and takes screenshots.
# Usage: step1-session.py <output-folder> <picture-folder> <expected count>
import subprocess
import sys
import time

import pyatspi

out, folder, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
results = open(out + "/step1.txt", "w")


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


def find(node, predicate, depth=0):
    """Depth-first search that does not walk the cells of lists and trees."""
    if node is None or depth > 40:
        return None
    try:
        if predicate(node):
            return node
        if node.getRoleName() in ("tree", "table", "tree table", "list"):
            return None
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), predicate, depth + 1)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def named(app, name, role=None):
    return find(app, lambda n: n.name == name and (role is None or n.getRoleName() == role))


def starting(app, prefix):
    return find(app, lambda n: n.getRoleName() == "label" and n.name.startswith(prefix))


def wait_for(check, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        value = check()
        if value:
            return value
        time.sleep(0.25)
    return None


def rows(table):
    try:
        return table.queryTable().nRows
    except Exception:
        return -1


def click(app, name):
    button = named(app, name, "push button")
    if button is None:
        report("missing-button", name)
        return False
    button.queryAction().doAction(0)
    return True


def press(app, name):
    """A real mouse click, for a button whose action opens a modal box (an
    accessibility action would wait for the box to close)."""
    button = named(app, name, "push button")
    if button is None:
        report("missing-button", name)
        return False
    x, y, w, h = button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)
    return True


def shot(name):
    subprocess.run(["import", "-window", "root", "%s/%s.png" % (out, name)], check=False)


app = application()
report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)

LISTS = ("table", "tree table", "tree", "list")
folder_list = wait_for(lambda: find(app, lambda n: n.name == "Images in Folder" and
                                    n.getRoleName() in LISTS))
basket = find(app, lambda n: n.name == "Image Basket" and n.getRoleName() in LISTS)
report("folder-list", "yes" if folder_list else "no")
report("basket-list", "yes" if basket else "no")
report("listed", wait_for(lambda: rows(folder_list) == expected and rows(folder_list)))
report("panel5", (starting(app, "Current Directory : ") or app).name)
# The first picture is previewed: its location is in the description.
location = wait_for(lambda: named(app, folder + "/" + "a-rose.jpg", "label"))
report("previewed", "yes" if location else "no")
panel4 = wait_for(lambda: starting(app, "a-rose.jpg "))
report("panel4", panel4.name if panel4 else "")
time.sleep(0.5)
shot("step1-listed")

click(app, "Add Checked File(s) to Tray")
report("basket-after-add", wait_for(lambda: rows(basket) == expected and rows(basket)))
panel3 = starting(app, "Basket: ")
report("panel3", panel3.name if panel3 else "")
time.sleep(0.5)
shot("step1-basket")

# Adding the same files again is refused with a message.
press(app, "Add Checked File(s) to Tray")
message = wait_for(lambda: find(app, lambda n: n.getRoleName() == "label" and
                                "already existed in the Basket" in n.name))
report("duplicate-message", message.name if message else "")
shot("step1-duplicates")
ok = wait_for(lambda: named(app, "OK", "push button"))
if ok is not None:
    ok.queryAction().doAction(0)
time.sleep(0.5)

click(app, "Uncheck All")
click(app, "Remove All")
report("basket-after-remove", wait_for(lambda: rows(basket) == 0 and "0") or rows(basket))
panel3 = starting(app, "Basket: ")
report("panel3-after-remove", panel3.name if panel3 else "")
report("done", "yes")
