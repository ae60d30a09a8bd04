#!/usr/bin/python3
# Step 1 through the accessibility interface, as a person would use it:
# reads the folder list, clicks toolbar buttons by their text, reads the
# basket and the status bar, and takes screenshots.
# Usage: step1-session.py <output-folder> <picture-folder> <expected count>
import sys

from atspi_session import (LIST_ROLES, Session, click_on, find, label_starting, named, rows,
                           wait_for)

out, folder, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
s = Session(out, "step1.txt", "step1-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)


def button(name):
    found = named(app, name, "push button")
    if found is None:
        s.report("missing-button", name)
    return found


folder_list = wait_for(lambda: find(app, lambda n: n.name == "Images in Folder" and
                                    n.getRoleName() in LIST_ROLES))
basket = find(app, lambda n: n.name == "Image Basket" and n.getRoleName() in LIST_ROLES)
s.report("folder-list", "yes" if folder_list else "no")
s.report("basket-list", "yes" if basket else "no")
s.report("listed", wait_for(lambda: rows(folder_list) == expected and rows(folder_list)))
s.report("panel5", (label_starting(app, "Current Directory : ") or app).name)
# The first picture is previewed: its location is in the description.
location = wait_for(lambda: named(app, folder + "/" + "a-rose.jpg", "label"))
s.report("previewed", "yes" if location else "no")
panel4 = wait_for(lambda: label_starting(app, "a-rose.jpg "))
s.report("panel4", panel4.name if panel4 else "")
s.shot("listed")

add = button("Add Checked File(s) to Tray")
add.queryAction().doAction(0)
s.report("basket-after-add", wait_for(lambda: rows(basket) == expected and rows(basket)))
panel3 = label_starting(app, "Basket: ")
s.report("panel3", panel3.name if panel3 else "")
s.shot("basket")

# Adding the same files again is refused with a message.
click_on(add)
message = wait_for(lambda: find(app, lambda n: n.getRoleName() == "label" and
                                "already existed in the Basket" in n.name))
s.report("duplicate-message", message.name if message else "")
s.shot("duplicates")
ok = wait_for(lambda: named(app, "OK", "push button"))
if ok is not None:
    ok.queryAction().doAction(0)

button("Uncheck All").queryAction().doAction(0)
button("Remove All").queryAction().doAction(0)
s.report("basket-after-remove", wait_for(lambda: rows(basket) == 0 and "0") or rows(basket))
panel3 = label_starting(app, "Basket: ")
s.report("panel3-after-remove", panel3.name if panel3 else "")
s.report("done", "yes")
