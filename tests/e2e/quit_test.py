#!/usr/bin/python3
"""Ends the real program each way it is ended: closing its window (as a window
manager asks, with WM_DELETE_WINDOW), SIGTERM, SIGINT, SIGHUP (its terminal
closed) and Ctrl+Q pressed on the keyboard. Each time the panel runs with its
MIDI client open on a private JACK server; it must then end with status 0
within a few seconds, with nothing on its error output from a sanitizer
(built with TARNWELL_SANITIZE, this covers leaks), and the next run must open
its window where this one was left.

Run inside an X server:
    xvfb-run -a quit_test.py path/to/tarnwell
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from test_time import scaled  # noqa: E402

SANITIZER_MARKS = ('Sanitizer', 'runtime error:')


def fail(message):
    print('FAIL: ' + message, flush=True)
    sys.exit(1)


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + scaled(timeout)
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    fail('timed out waiting for ' + what)


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong),
                ('message_type', ctypes.c_ulong), ('format', ctypes.c_int),
                ('data', ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [('type', ctypes.c_int), ('xclient', XClientMessageEvent),
                ('pad', ctypes.c_long * 24)]


class XClassHint(ctypes.Structure):
    _fields_ = [('res_name', ctypes.c_void_p), ('res_class', ctypes.c_void_p)]


CLIENT_MESSAGE = 33
STRUCTURE_NOTIFY_MASK = 1 << 17  # how Qt sends its ping answers to the root


class X:
    """The X server as a window manager and a keyboard see it. There is no
    window manager under Xvfb: a window's size and place are its own."""

    def __init__(self):
        x = self.lib = ctypes.cdll.LoadLibrary('libX11.so.6')
        self.xtest = ctypes.cdll.LoadLibrary('libXtst.so.6')
        p, u, i, ui = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        for name, result, args in (
                ('XOpenDisplay', p, [ctypes.c_char_p]), ('XDefaultRootWindow', u, [p]),
                ('XInternAtom', u, [p, ctypes.c_char_p, i]), ('XQueryTree', i, [p, u] + [p] * 4),
                ('XGetClassHint', i, [p, u, p]), ('XSendEvent', i, [p, u, i, ctypes.c_long, p]),
                ('XGetGeometry', i, [p, u] + [p] * 7),
                ('XMoveResizeWindow', i, [p, u, i, i, ui, ui]),
                ('XSelectInput', i, [p, u, ctypes.c_long]), ('XPending', i, [p]),
                ('XNextEvent', i, [p, p]), ('XSetInputFocus', i, [p, u, i, u]),
                ('XStringToKeysym', u, [ctypes.c_char_p]),
                ('XKeysymToKeycode', ctypes.c_ubyte, [p, u]),
                ('XFree', i, [p]), ('XFlush', i, [p]), ('XSync', i, [p, i]),
                ('XCloseDisplay', i, [p])):
            getattr(x, name).restype, getattr(x, name).argtypes = result, args
        self.xtest.XTestFakeKeyEvent.argtypes = [p, ui, i, u]
        self.display = x.XOpenDisplay(None)
        if not self.display:
            fail('cannot open the X display')
        self.root = x.XDefaultRootWindow(self.display)
        self.protocols, self.delete, self.ping_atom = (
            x.XInternAtom(self.display, name, 0)
            for name in (b'WM_PROTOCOLS', b'WM_DELETE_WINDOW', b'_NET_WM_PING'))
        x.XSelectInput(self.display, self.root, STRUCTURE_NOTIFY_MASK)

    def close_display(self):
        self.lib.XCloseDisplay(self.display)

    def windows_of_class(self, name):
        """The top-level windows whose WM_CLASS class is `name` (the title
        changes with the selected preset; the class does not)."""
        x = self.lib
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                     ctypes.byref(children), ctypes.byref(count))
        found = []
        for i in range(count.value):
            hint = XClassHint()
            if x.XGetClassHint(self.display, children[i], ctypes.byref(hint)):
                if hint.res_class and ctypes.string_at(hint.res_class).decode() == name:
                    found.append(children[i])
                for text in (hint.res_name, hint.res_class):
                    if text:
                        x.XFree(text)
        if children:
            x.XFree(children)
        return found

    def geometry(self, window):
        root = ctypes.c_ulong()
        values = [ctypes.c_int(), ctypes.c_int(), ctypes.c_uint(), ctypes.c_uint(),
                  ctypes.c_uint(), ctypes.c_uint()]
        self.lib.XGetGeometry(self.display, window, ctypes.byref(root),
                              *[ctypes.byref(v) for v in values])
        return tuple(v.value for v in values[:4])

    def move_resize(self, window, geometry):
        self.lib.XMoveResizeWindow(self.display, window, *geometry)
        self.lib.XSync(self.display, 0)

    def client_message(self, window, protocol, data2=0):
        event = XEvent()
        event.xclient.type = CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = self.protocols
        event.xclient.format = 32
        event.xclient.data[0] = protocol
        event.xclient.data[2] = data2
        self.lib.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.lib.XFlush(self.display)

    def close(self, window):
        """Asks the window to close, as a window manager's close button does."""
        self.client_message(window, self.delete)

    def ping(self, window, timeout=20):
        """Returns once the program has answered a _NET_WM_PING sent now, so
        it has taken in every event the server sent it before (a resize)."""
        self.client_message(window, self.ping_atom, window)
        deadline = time.monotonic() + scaled(timeout)
        event = XEvent()
        while time.monotonic() < deadline:
            while self.lib.XPending(self.display):
                self.lib.XNextEvent(self.display, ctypes.byref(event))
                if (event.type == CLIENT_MESSAGE and event.xclient.window == self.root and
                        event.xclient.data[0] == self.ping_atom and
                        event.xclient.data[2] == window):
                    return
            time.sleep(0.05)
        fail('the program did not answer a ping within %.0f s' % scaled(timeout))

    def press_ctrl_q(self, window):
        """Gives the window the keyboard focus and presses Ctrl+Q on the keyboard."""
        x = self.lib
        x.XSetInputFocus(self.display, window, 2, 0)  # RevertToParent, CurrentTime
        x.XSync(self.display, 0)
        self.ping(window)
        control = x.XKeysymToKeycode(self.display, x.XStringToKeysym(b'Control_L'))
        q = x.XKeysymToKeycode(self.display, x.XStringToKeysym(b'q'))
        for code, down in ((control, 1), (q, 1), (q, 0), (control, 0)):
            self.xtest.XTestFakeKeyEvent(self.display, code, down, 0)
        x.XFlush(self.display)


def jack_ports(env):
    result = subprocess.run(['jack_lsp'], env=env, capture_output=True, text=True)
    return result.stdout.split('\n') if result.returncode == 0 else []


def run_and_quit(program, how, env, folder, expected, place):
    """Starts the panel, checks its window stands at `expected` (the place the
    previous run was left at), moves it to `place` and ends it `how`."""
    errors_path = os.path.join(folder, how + '.stderr')
    x = X()
    with open(errors_path, 'w') as errors:
        panel = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=errors)
    try:
        wait_for(how + ': the MIDI client of the controller window',
                 lambda: 'MidiClient:OutPort' in jack_ports(env), 60)
        windows = x.windows_of_class('Tarnwell')
        if len(windows) != 1:
            fail('%s: %d windows of class Tarnwell' % (how, len(windows)))
        window = windows[0]
        if expected:
            deadline = time.monotonic() + scaled(10)
            while x.geometry(window) != expected and time.monotonic() < deadline:
                time.sleep(0.1)
            if x.geometry(window) != expected:
                fail('%s: the window is at %s, not at %s where the last run was left' %
                     (how, x.geometry(window), expected))
        else:
            # The first run: the start-up screen's 900x900 gives way to the
            # panel's own size once the panel is built; a move before that
            # would be undone by it.
            wait_for(how + ': the panel sizing its window',
                     lambda: x.geometry(window)[2:] != (900, 900), 20)
        if place:
            x.move_resize(window, place)
            x.ping(window)
        started = time.monotonic()
        if how == 'window':
            x.close(window)
        elif how == 'Ctrl+Q':
            x.press_ctrl_q(window)
        else:
            panel.send_signal(getattr(signal, how))
        try:
            status = panel.wait(timeout=scaled(20))
        except subprocess.TimeoutExpired:
            fail(how + ': still running %.0f s after being asked to quit' % scaled(20))
        print('%s: ended with status %d after %.0f ms' %
              (how, status, 1000 * (time.monotonic() - started)), flush=True)
    finally:
        x.close_display()
        if panel.poll() is None:
            panel.kill()
            panel.wait()
    with open(errors_path) as errors:
        text = errors.read()
    if any(mark in text for mark in SANITIZER_MARKS):
        fail(how + ': sanitizer report:\n' + text[-4000:])
    if status != 0:
        fail('%s: status %d\n%s' % (how, status, text[-2000:]))
    if any(line.startswith('MidiClient:') for line in jack_ports(env)):
        fail(how + ': the MIDI client outlived the program')


def main():
    if len(sys.argv) != 2:
        fail('usage: quit_test.py path/to/tarnwell')
    program = sys.argv[1]
    if not shutil.which('jackd') or not shutil.which('jack_lsp'):
        print('SKIP: jackd is not installed (package jackd2)', flush=True)
        sys.exit(77)
    server = 'tarnwell-quit-%d' % os.getpid()
    env = dict(os.environ, JACK_DEFAULT_SERVER=server, JACK_NO_START_SERVER='1')
    jackd = subprocess.Popen(['jackd', '-n', server, '-d', 'dummy', '-r', '48000', '-p', '256'],
                             env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for('the JACK server', lambda: subprocess.run(
            ['jack_lsp'], env=env, capture_output=True).returncode == 0, 20)
        with tempfile.TemporaryDirectory() as home:
            env['HOME'] = home
            # Each run is left at its own place; the next one must open there.
            expected = None
            ways = ('window', 'SIGTERM', 'SIGINT', 'SIGHUP', 'Ctrl+Q')
            for n, how in enumerate(ways):
                place = (30 + 10 * n, 40 + 10 * n, 600 + 10 * n, 400 + 10 * n)
                run_and_quit(program, how, env, home, expected, place)
                expected = place
            run_and_quit(program, 'SIGTERM', env, home, expected, None)
    finally:
        jackd.terminate()
        jackd.wait()
    print('PASS', flush=True)


if __name__ == '__main__':
    main()
