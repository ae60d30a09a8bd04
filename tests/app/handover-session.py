#!/usr/bin/python3
# "Open With Pictrove" while the program runs: a second start with files
# ends at once without a window or message, and the running copy shows
# them in its basket on Step 1. A second start without files still says
# that a copy runs.
# Usage: handover-session.py <output-folder> <program> <picture-folder>
import os
import subprocess
import sys
import time

import pyatspi
from atspi_session import LIST_ROLES, Session, click_on, find, label_starting, rows, wait_for

out, program, folder = sys.argv[1], sys.argv[2], sys.argv[3]
s = Session(out, "handover.txt", "handover-")
app = s.application()
s.report("app", "yes" if app else "no")
if app is None:
    sys.exit(0)


def page_tab(name):
    return wait_for(lambda: find(app, lambda n: n.getRoleName() == "page tab" and n.name == name))


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


# The second starts are not accessibility clients: with the bridge forced on
# they would wait on the bus for this script, which waits for them.
quiet = dict(os.environ)
quiet.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
quiet["NO_AT_BRIDGE"] = "1"


basket = wait_for(lambda: find(app, lambda n: n.name == "Image Basket" and
                               n.getRoleName() in LIST_ROLES))
step2 = page_tab("Step 2 : Output Settings")
if basket is None or step2 is None:
    s.report("missing-item", "basket or Step 2 tab")
    sys.exit(0)
s.report("basket-before", rows(basket))
# The user has gone on to Step 2 meanwhile.
click_on(step2)
s.report("step2-before", "yes" if wait_for(lambda: not showing(basket), 5) else "no")

# As a file manager starts it: a path, a file URL, a file that is no picture.
started = time.time()
second = subprocess.run([program, folder + "/a-rose.jpg", "file://" + folder + "/b%20logo.png",
                         folder + "/notes.txt"],
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=quiet, timeout=30)
s.report("second-exit", second.returncode)
s.report("second-quick", "yes" if time.time() - started < 10 else "no")
s.report("basket-after", wait_for(lambda: rows(basket) == 2 and rows(basket)) or rows(basket))
panel3 = label_starting(app, "Basket: ")
s.report("panel3", panel3.name if panel3 else "")
s.report("step1-shown", "yes" if wait_for(lambda: showing(basket), 5) else "no")
s.shot("received")

# Without files the second start says a copy runs, and waits for an answer.
lonely = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=quiet)
time.sleep(3)
s.report("lonely-waits", "yes" if lonely.poll() is None else "no")
lonely.terminate()
try:
    lonely.wait(10)
except subprocess.TimeoutExpired:
    lonely.kill()
    lonely.wait()
s.report("done", "yes")
