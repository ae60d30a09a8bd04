#!/usr/bin/python3
# The whole road as a user takes it, through the accessibility interface:
# the folder's pictures into the basket, a format in Step 2, "Save All ...",
# the destination dialog with a generic name, the run to its end.
# Usage: road-session.py <output-folder> <format text> <generic name>
import sys
import time

import pyatspi

from atspi_session import (Session, choose, click_on, combo_described, find, label_starting,
                           named, wait_for)

out, format_text, generic = sys.argv[1], sys.argv[2], sys.argv[3]
s = Session(out, "road.txt", "road-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)

add = wait_for(lambda: named(app, "Add Checked File(s) to Tray", "push button"))
wait_for(lambda: label_starting(app, "Current Directory"))
time.sleep(1)  # the folder is listed
add.queryAction().doAction(0)
basket = wait_for(lambda: label_starting(app, "Basket: ") and
                  label_starting(app, "Basket: ").name != "Basket: 0 file(s)" and
                  label_starting(app, "Basket: "))
s.report("basket", basket.name if basket else "")

click_on(find(app, lambda n: n.getRoleName() == "page tab" and
              n.name == "Step 2 : Output Settings"))
formats = wait_for(lambda: combo_described(app, "available file formats"))
choose(app, formats, format_text)
s.report("format", wait_for(lambda: label_starting(app, format_text) and format_text) or "")

click_on(named(app, "Save All ...", "push button"))
dialog = wait_for(lambda: find(app, lambda n: n.getRoleName() in ("dialog", "frame") and
                               n.name == "Select Folder"))
s.report("dialog", "yes" if dialog else "no")
if dialog is None:
    sys.exit(0)
name_box = find(dialog, lambda n: n.getRoleName() == "text" and
                n.name == "Specify a generic file name")
name_box.queryEditableText().setTextContents(generic)
time.sleep(0.4)
s.shot("dialog")
select = named(dialog, "Select", "push button")
s.report("select-enabled",
         "yes" if select and select.getState().contains(pyatspi.STATE_ENABLED) else "no")
click_on(select)
s.shot("running")
done = wait_for(lambda: label_starting(app, "Save All: "), 90)
s.report("summary", done.name if done else "")
time.sleep(0.5)
s.shot("done")
s.report("done", "yes")
