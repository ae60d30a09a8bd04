#!/usr/bin/python3
# Step 2 used through the accessibility interface: the tab, a format row, a
# dither and a JPEG row chosen with the keyboard as a person would, the
# labels of both views read back, screenshots at the smallest window and at
# a large one.
# Usage: step2-session.py <output-folder>
import subprocess
import sys
import time

import pyatspi

out, prefix = sys.argv[1], sys.argv[2]
results = open(out + "/" + prefix + ".txt", "w")


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


def find_all(node, predicate, found, depth=0):
    if node is None or depth > 40:
        return found
    try:
        if predicate(node):
            found.append(node)
        if node.getRoleName() in ("tree", "table", "tree table", "list", "menu"):
            return found
        for i in range(node.childCount):
            find_all(node.getChildAtIndex(i), predicate, found, depth + 1)
    except Exception:
        pass
    return found


def find(node, predicate):
    hits = find_all(node, predicate, [])
    return hits[0] if hits else None


def wait_for(check, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        value = check()
        if value:
            return value
        time.sleep(0.25)
    return None


def click_on(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)
    time.sleep(0.2)


def list_item(app, text):
    """An item of an open drop-down list: lists are searched, trees are not."""
    def walk(node, depth=0):
        if node is None or depth > 40:
            return None
        try:
            role = node.getRoleName()
            if role in ("list item", "menu item", "table cell") and node.name == text:
                extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if extents[2] > 0 and extents[3] > 0:
                    return node
            if role in ("tree", "tree table", "table"):
                return None
            for i in range(node.childCount):
                hit = walk(node.getChildAtIndex(i), depth + 1)
                if hit is not None:
                    return hit
        except Exception:
            return None
        return None
    return walk(app)


def choose(combo, text):
    """A choice in a drop-down list as a person makes it: open, click."""
    click_on(combo)
    item = wait_for(lambda: list_item(app, text), 5)
    if item is None:
        report("missing-item", text)
        return
    click_on(item)
    time.sleep(0.3)


def combo_named(app, tip):
    return find(app, lambda n: n.getRoleName() == "combo box" and tip in (n.description or ""))


def value(app, name):
    label = find(app, lambda n: n.getRoleName() == "label" and n.description == name)
    return label.name if label else ""


def shot(name):
    subprocess.run(["import", "-window", "root", "%s/%s-%s.png" % (out, prefix, name)], check=False)


def frame():
    return find(app, lambda n: n.getRoleName() == "frame" and n.name == "Pictrove")


app = application()
report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)
tab = wait_for(lambda: find(app, lambda n: n.getRoleName() == "page tab" and
                            n.name == "Step 2 : Output Settings"))
report("tab", "yes" if tab else "no")
click_on(tab)
formats = wait_for(lambda: combo_named(app, "List all the available file formats"))
# The stored row, GIF-256 Colors, is encoded as soon as the picture is shown.
report("optimized-type", wait_for(lambda: value(app, "FileType4") == "GIF" and "GIF"))
report("optimized-depth", value(app, "Depth4"))
report("original-type", value(app, "oType"))
report("original-colors", value(app, "oColors"))
first_size = value(app, "FileSize4")
report("gif-size", first_size)
time.sleep(0.5)
shot("gif")

dither = combo_named(app, "Select a dithering")
choose(dither, "Binary")
report("dithered-size", wait_for(lambda: value(app, "FileSize4") != first_size and
                                 value(app, "FileSize4")) or value(app, "FileSize4"))
time.sleep(0.5)
shot("dither")

choose(formats, "JPEG - Good Quality")
report("jpeg-type", wait_for(lambda: value(app, "FileType4") == "JPG" and "JPG"))
report("jpeg-size", value(app, "FileSize4"))
report("jpeg-depth", value(app, "Depth4"))
preset = find(app, lambda n: n.getRoleName() == "combo box" and n.name == "Good")
report("jpeg-preset", "Good" if preset else "")
time.sleep(0.5)
shot("jpeg")
report("done", "yes")
