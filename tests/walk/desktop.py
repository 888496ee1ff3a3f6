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


def clipboard_text(timeout=5.0):
    """What a program that pastes now receives as text from the clipboard (UTF-8), or None when nothing on
    it gives text. Asks the X server as any program does, through libX11."""
    import ctypes

    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
        [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XConvertSelection.argtypes = [ctypes.c_void_p] + [ctypes.c_ulong] * 5
    x11.XPending.argtypes = [ctypes.c_void_p]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                       ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                       ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                       ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                       ctypes.POINTER(ctypes.c_void_p)]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class SelectionEvent(ctypes.Structure):  # XSelectionEvent, padded to the size of an XEvent
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                    ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong),
                    ("pad", ctypes.c_long * 24)]

    selection_notify = 31
    display = x11.XOpenDisplay(None)
    if not display:
        raise WalkFailure("cannot open the display to read the clipboard")
    try:
        window = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)
        landing = x11.XInternAtom(display, b"WALK_PASTE", 0)
        x11.XConvertSelection(display, x11.XInternAtom(display, b"CLIPBOARD", 0),
                              x11.XInternAtom(display, b"UTF8_STRING", 0), landing, window, 0)
        event = SelectionEvent()
        deadline = time.monotonic() + timeout
        while True:
            while x11.XPending(display):
                x11.XNextEvent(display, ctypes.byref(event))
                if event.type == selection_notify:
                    break
            if event.type == selection_notify:
                break
            if time.monotonic() > deadline:
                raise WalkFailure("the clipboard's owner did not answer")
            time.sleep(0.02)
        if event.property == 0:
            return None
        kind, size, count, left, data = (ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong(),
                                         ctypes.c_void_p())
        x11.XGetWindowProperty(display, window, landing, 0, 1 << 24, 1, 0, ctypes.byref(kind), ctypes.byref(size),
                               ctypes.byref(count), ctypes.byref(left), ctypes.byref(data))
        text = ctypes.string_at(data.value, count.value).decode("utf-8") if data.value else ""
        if data.value:
            x11.XFree(data)
        x11.XDestroyWindow(display, window)
        return text
    finally:
        x11.XCloseDisplay(display)
