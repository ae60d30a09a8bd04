# What the end-to-end scripts share: finding the program and its controls
# through the desktop's accessibility interface, waiting with a limit,
# clicking as a person does, results as "name=value" lines, screenshots.
import subprocess
import time

import pyatspi

# Lists and trees are not walked cell by cell: the folder tree alone has
# thousands.
LIST_ROLES = ("tree", "tree table", "table", "list")


class Session:
    def __init__(self, out, results_name, shot_prefix=""):
        self.out = out
        self.results = open("%s/%s" % (out, results_name), "w")
        self.shot_prefix = shot_prefix
        self.app = None

    def report(self, name, value):
        self.results.write("%s=%s\n" % (name, value))
        self.results.flush()

    def application(self, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == "Pictrove":
                    self.app = app
                    return app
            time.sleep(0.3)
        return None

    def shot(self, name):
        subprocess.run(["import", "-window", "root",
                        "%s/%s%s.png" % (self.out, self.shot_prefix, name)], check=False)


def find(node, predicate, into_lists=False, depth=0):
    """Depth-first search; lists are searched only when asked (open menus)."""
    if node is None or depth > 40:
        return None
    try:
        if predicate(node):
            return node
        role = node.getRoleName()
        if role in LIST_ROLES and not (into_lists and role == "list"):
            return None
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), predicate, into_lists, depth + 1)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def named(node, name, role=None):
    return find(node, lambda n: n.name == name and (role is None or n.getRoleName() == role))


def label_value(node, description):
    """The text of the label an information frame describes as `description`."""
    label = find(node, lambda n: n.getRoleName() == "label" and n.description == description)
    return label.name if label else ""


def label_starting(node, prefix):
    return find(node, lambda n: n.getRoleName() == "label" and n.name.startswith(prefix))


def wait_for(check, timeout=15, step=0.2):
    end = time.time() + timeout
    while time.time() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    return None


def click_now(node):
    """A real mouse click in the middle of a control: what an accessibility
    action would do, without waiting for a modal box it opens to close."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)


def click_on(node):
    """A click, and a moment for the program to take it."""
    click_now(node)
    time.sleep(0.3)


def list_item(app, combo, text):
    """Opens a drop-down list; its row of that text, or None."""
    click_on(combo)
    return wait_for(lambda: find(app, lambda n: n.getRoleName() in ("list item", "menu item") and
                                 n.name == text and
                                 n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[2] > 0,
                                 into_lists=True), 5)


def choose(app, combo, text):
    """A choice in a drop-down list as a person makes it: open, click."""
    item = list_item(app, combo, text)
    if item is None:
        return False
    click_on(item)
    time.sleep(0.3)
    return True


def combo_described(node, text):
    return find(node, lambda n: n.getRoleName() == "combo box" and text in (n.description or ""))


def rows(table):
    try:
        return table.queryTable().nRows
    except Exception:
        return -1
