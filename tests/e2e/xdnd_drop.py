"""A file manager's drag and drop, as X clients do it (the XDND protocol, version 5): drops files
on whatever window lies at a point of the screen. Wine turns such a drop into WM_DROPFILES for a
window that accepts files. Only libX11 through ctypes, so that nothing needs building."""

import ctypes
import ctypes.util
import time
import urllib.parse

_x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong

_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x.XDefaultRootWindow.restype = Window
_x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x.XInternAtom.restype = Atom
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XCreateSimpleWindow.restype = Window
_x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                   ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
_x.XDestroyWindow.argtypes = [ctypes.c_void_p, Window]
_x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, Atom, Window, ctypes.c_ulong]
_x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, Window, Window, ctypes.c_int, ctypes.c_int,
                                     ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                     ctypes.POINTER(Window)]
_x.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x.XChangeProperty.argtypes = [ctypes.c_void_p, Window, Atom, Atom, ctypes.c_int, ctypes.c_int,
                               ctypes.c_char_p, ctypes.c_int]
_x.XPending.argtypes = [ctypes.c_void_p]
_x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x.XFlush.argtypes = [ctypes.c_void_p]
_x.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int,
                                  Atom, ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int),
                                  ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                  ctypes.POINTER(ctypes.c_void_p)]
_x.XFree.argtypes = [ctypes.c_void_p]

CLIENT_MESSAGE = 33
SELECTION_REQUEST = 30
SELECTION_NOTIFY = 31
PROP_MODE_REPLACE = 0
XA_ATOM = 4


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", Window), ("requestor", Window), ("selection", Atom),
                ("target", Atom), ("property", Atom), ("time", ctypes.c_ulong)]


class SelectionNotify(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", Window), ("selection", Atom), ("target", Atom),
                ("property", Atom), ("time", ctypes.c_ulong)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", ClientMessage), ("request", SelectionRequest),
                ("notify", SelectionNotify), ("pad", ctypes.c_long * 24)]


class DropFailed(Exception):
    pass


def _uri_list(paths):
    return "".join("file://" + urllib.parse.quote(str(p)) + "\r\n" for p in paths).encode()


def drop_files(display_name, x, y, paths, timeout=10.0):
    """Drags `paths` from a source window of our own onto the screen point (x, y) and drops them
    there; returns the action the target took. Raises DropFailed when the target refuses."""
    display = _x.XOpenDisplay(display_name.encode())
    if not display:
        raise DropFailed("cannot open display %s" % display_name)
    try:
        return _drop(display, x, y, paths, timeout)
    finally:
        _x.XCloseDisplay(display)


def _drop(display, x, y, paths, timeout):
    atom = lambda name: _x.XInternAtom(display, name.encode(), 0)
    root = _x.XDefaultRootWindow(display)
    source = _x.XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0)
    uri_list, selection = atom("text/uri-list"), atom("XdndSelection")
    _x.XSetSelectionOwner(display, selection, source, 0)
    target = _aware_window_at(display, root, x, y, atom("XdndAware"))
    if not target:
        raise DropFailed("no window at (%d, %d) takes drops" % (x, y))

    def send(kind, *data):
        event = Event()
        event.client.type = CLIENT_MESSAGE
        event.client.window = target
        event.client.message_type = atom(kind)
        event.client.format = 32
        for i, value in enumerate(data):
            event.client.l[i] = value
        _x.XSendEvent(display, target, 0, 0, ctypes.byref(event))
        _x.XFlush(display)

    send("XdndEnter", source, 5 << 24, uri_list, 0, 0)
    send("XdndPosition", source, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    data = _uri_list(paths)
    status = None
    dropped = False
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if not _x.XPending(display):
            time.sleep(0.01)
            continue
        event = Event()
        _x.XNextEvent(display, ctypes.byref(event))
        if event.type == SELECTION_REQUEST:
            _answer(display, event.request, data, uri_list)
        elif event.type == CLIENT_MESSAGE and event.client.message_type == atom("XdndStatus"):
            status = event.client.l[1] & 1
            if not status:
                send("XdndLeave", source, 0, 0, 0, 0)
                raise DropFailed("the window at (%d, %d) refuses the files" % (x, y))
            if not dropped:
                send("XdndDrop", source, 0, 0, 0, 0)
                dropped = True
        elif event.type == CLIENT_MESSAGE and event.client.message_type == atom("XdndFinished"):
            _x.XDestroyWindow(display, source)
            return event.client.l[2]
    raise DropFailed("no answer from the window at (%d, %d) within %.0f s (status %s, dropped %s)"
                     % (x, y, timeout, status, dropped))


def _answer(display, request, data, uri_list):
    notify = Event()
    notify.notify.type = SELECTION_NOTIFY
    notify.notify.requestor = request.requestor
    notify.notify.selection = request.selection
    notify.notify.target = request.target
    notify.notify.time = request.time
    notify.notify.property = 0
    if request.target == uri_list:
        _x.XChangeProperty(display, request.requestor, request.property, uri_list, 8, PROP_MODE_REPLACE,
                           data, len(data))
        notify.notify.property = request.property
    _x.XSendEvent(display, request.requestor, 0, 0, ctypes.byref(notify))
    _x.XFlush(display)


def _aware_window_at(display, root, x, y, xdnd_aware):
    """The top-most window at the point that says it takes XDND drops, itself or a descendant."""
    window = root
    found = 0
    while True:
        if _has_property(display, window, xdnd_aware):
            found = window
        dest_x, dest_y, child = ctypes.c_int(), ctypes.c_int(), Window()
        _x.XTranslateCoordinates(display, root, window, x, y, ctypes.byref(dest_x), ctypes.byref(dest_y),
                                 ctypes.byref(child))
        if not child.value:
            return found
        window = child.value


def _has_property(display, window, name):
    kind, fmt = Atom(), ctypes.c_int()
    count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
    _x.XGetWindowProperty(display, window, name, 0, 1, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                          ctypes.byref(count), ctypes.byref(after), ctypes.byref(data))
    if data.value:
        _x.XFree(data)
    return kind.value != 0
