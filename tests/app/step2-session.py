#!/usr/bin/python3
# Step 2 through the accessibility interface: the tab, a dither and a JPEG
# row chosen in their lists as a person would, the labels of both views
# read back, screenshots.
# Usage: step2-session.py <output-folder> <name of the run>
import sys
import time

import pyatspi

from atspi_session import Session, choose, label_value, click_on, combo_described, find, wait_for

out, prefix = sys.argv[1], sys.argv[2]
s = Session(out, prefix + ".txt", prefix + "-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)


def value(name):
    return label_value(app, name)


tab = wait_for(lambda: find(app, lambda n: n.getRoleName() == "page tab" and
                            n.name == "Step 2 : Output Settings"))
s.report("tab", "yes" if tab else "no")
click_on(tab)
formats = wait_for(lambda: combo_described(app, "List all the available file formats"))
# The stored row, GIF-256 Colors, is encoded as soon as the picture is shown.
s.report("optimized-type", wait_for(lambda: value("FileType4") == "GIF" and "GIF"))
s.report("optimized-depth", value("Depth4"))
s.report("original-type", value("oType"))
s.report("original-colors", value("oColors"))
first_size = value("FileSize4")
s.report("gif-size", first_size)
time.sleep(0.5)
s.shot("gif")

if not choose(app, combo_described(app, "Select a dithering"), "Binary"):
    s.report("missing-item", "Binary")
s.report("dithered-size", wait_for(lambda: value("FileSize4") != first_size and
                                   value("FileSize4")) or value("FileSize4"))
time.sleep(0.5)
s.shot("dither")

if not choose(app, formats, "JPEG - Good Quality"):
    s.report("missing-item", "JPEG - Good Quality")
s.report("jpeg-type", wait_for(lambda: value("FileType4") == "JPG" and "JPG"))
s.report("jpeg-size", value("FileSize4"))
s.report("jpeg-depth", value("Depth4"))
preset = find(app, lambda n: n.getRoleName() == "combo box" and n.name == "Good")
s.report("jpeg-preset", "Good" if preset else "")
time.sleep(0.5)
s.shot("jpeg")

# "Resize": longest side 200, typed into its field as a person types; the
# optimized view is encoded again at the new size and says its resolution.
s.report("resolution-before", value("Resolution4"))
if not choose(app, combo_described(app, "Resize the written pictures"), "Longest side"):
    s.report("missing-item", "Longest side")
side = wait_for(lambda: find(app, lambda n: n.getRoleName() in ("text", "entry") and
                             n.name == "Longest side in pixels"))
s.report("side-field", "yes" if side else "no")
if side:
    # A double click selects the whole number, so typing replaces it.
    x, y, w, h = side.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1D)
    time.sleep(0.3)
    for key in "200":
        pyatspi.Registry.generateKeyboardEvent(ord(key), None, pyatspi.KEY_SYM)
        time.sleep(0.1)
s.report("resolution-after", wait_for(lambda: value("Resolution4") == "200 x 131" and
                                      value("Resolution4"), 20) or value("Resolution4"))
time.sleep(0.5)
s.shot("resize")
s.report("done", "yes")
