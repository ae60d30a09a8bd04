#!/usr/bin/python3
# Step 1 on a folder of a WebP and a HEIC picture: both are listed, the
# first is previewed when the folder opens, the second after a click on it.
# Usage: modern-session.py <output-folder> <picture-folder>
import sys

from atspi_session import LIST_ROLES, Session, click_on, find, label_starting, named, rows, wait_for

out, folder = sys.argv[1], sys.argv[2]
s = Session(out, "modern.txt", "modern-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)

folder_list = wait_for(lambda: find(app, lambda n: n.name == "Images in Folder" and
                                    n.getRoleName() in LIST_ROLES))
s.report("listed", wait_for(lambda: rows(folder_list) == 2 and rows(folder_list)))
first = wait_for(lambda: label_starting(app, "a-wallpaper.webp "))
s.report("first-panel4", first.name if first else "")
s.shot("webp")

try:
    cell = folder_list.queryTable().getAccessibleAt(1, 0)
except Exception:
    cell = None
if cell is not None:
    click_on(cell)
second = wait_for(lambda: label_starting(app, "b-photo.heic "))
s.report("second-panel4", second.name if second else "")
type_label = wait_for(lambda: named(app, "HEIC", "label"))
s.report("second-type", type_label.name if type_label else "")
s.shot("heic")
s.report("done", "yes")
