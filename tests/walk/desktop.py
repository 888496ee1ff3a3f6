"""What the walk sees and does: the application's accessibility tree (AT-SPI), the keyboard and mouse
(xdotool) and the screen (ImageMagick)."""

import subprocess
import time

import pyatspi


class WalkFailure(Exception):
    pass


def wait_for(what, condition, timeout=10.0):
    """Polls condition until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = condition()
        except Exception:  # the tree changes under the walk: a node read a moment ago may be gone
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise WalkFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.05)


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def descendants(node):
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def is_showing(node):
    return pyatspi.STATE_SHOWING in node.getState().getStates()


def find_all(root, role=None, name=None, showing=True):
    return [node for node in descendants(root) if (role is None or node.getRole() == role)
            and (name is None or node.name == name) and (not showing or is_showing(node))]


def find(root, role=None, name=None, showing=True):
    found = find_all(root, role, name, showing)
    return found[0] if found else None


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def xdotool(*arguments):
    subprocess.run(["xdotool", *map(str, arguments)], check=True)


def click(node):
    x, y, width, height = extents(node)
    xdotool("mousemove", "--sync", x + width // 2, y + height // 2, "click", 1)


def press(*keys):
    xdotool("key", "--clearmodifiers", *keys)


def type_text(text):
    xdotool("type", "--delay", 10, text)


def screenshot(path):
    subprocess.run(["import", "-window", "root", str(path)], check=True)


def contrast(path, node):
    """The spread of grey levels inside node's box on the screenshot: near 0 where nothing is legible."""
    x, y, width, height = extents(node)
    reply = subprocess.run(
        ["convert", str(path), "-crop", f"{width}x{height}+{x}+{y}", "-colorspace", "Gray",
         "-format", "%[fx:maxima-minima]", "info:"],
        check=True, capture_output=True, text=True)
    return float(reply.stdout)
