#!/usr/bin/python3
# Step 2 with the rows for the web, through the accessibility interface: a
# transparent picture written as "WebP - Lossy", its quality typed and
# applied with Enter, then as "AVIF"; the labels read back, screenshots of
# the results on their checkerboard.
# Usage: web-session.py <output-folder>
import sys
import time

import pyatspi

from atspi_session import Session, choose, label_value, click_on, combo_described, find, wait_for

out = sys.argv[1]
s = Session(out, "web.txt", "web-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)


def value(name):
    return label_value(app, name)


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except Exception:
        return ""


def type_keys(keys):
    for key in keys:  # a character's key symbol is its code
        pyatspi.Registry.generateKeyboardEvent(ord(key), None, pyatspi.KEY_SYM)
        time.sleep(0.1)


tab = wait_for(lambda: find(app, lambda n: n.getRoleName() == "page tab" and
                            n.name == "Step 2 : Output Settings"))
click_on(tab)
formats = wait_for(lambda: combo_described(app, "List all the available file formats"))
s.report("gif-type", wait_for(lambda: value("FileType4") == "GIF" and "GIF"))

if not choose(app, formats, "WebP - Lossy"):
    s.report("missing-item", "WebP - Lossy")
s.report("webp-type", wait_for(lambda: value("FileType4") == "WEBP" and "WEBP", 30))
s.report("webp-depth", value("Depth4"))
first_size = value("FileSize4")
s.report("webp-size", first_size)
quality = wait_for(lambda: find(app, lambda n: n.getRoleName() == "text" and n.name == "Quality"))
s.report("quality-shown", "yes" if quality else "no")
s.report("quality-before", text_of(quality) if quality else "")
time.sleep(0.5)
s.shot("webp-80")
if quality is not None:
    # A click puts the caret where it lands: the value is cleared with
    # Backspace first, as a person would.
    click_on(quality)
    for key in (0xff57, 0xff08, 0xff08):  # End, Backspace, Backspace
        pyatspi.Registry.generateKeyboardEvent(key, None, pyatspi.KEY_SYM)
        time.sleep(0.1)
    type_keys("2x0")
    s.report("quality-typed", text_of(quality))
    # Not applied before Enter.
    time.sleep(1)
    s.report("size-before-enter", value("FileSize4"))
    pyatspi.Registry.generateKeyboardEvent(0xff0d, None, pyatspi.KEY_SYM)
s.report("webp-low-size", wait_for(lambda: value("FileSize4") != first_size and
                                   value("FileSize4"), 30) or value("FileSize4"))
time.sleep(0.5)
s.shot("webp-20")

if not choose(app, formats, "AVIF"):
    s.report("missing-item", "AVIF")
s.report("avif-type", wait_for(lambda: value("FileType4") == "AVIF" and "AVIF", 60))
s.report("avif-depth", value("Depth4"))
s.report("avif-quality", text_of(quality) if quality else "")
time.sleep(0.5)
s.shot("avif")
s.report("done", "yes")
