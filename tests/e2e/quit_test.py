#!/usr/bin/python3
"""Ends the real program each way it is ended: closing its window (as a window
manager asks, with WM_DELETE_WINDOW), SIGTERM and SIGINT. Each time the panel
runs with its MIDI client open on a private JACK server; it must then end with
status 0 within a few seconds, with nothing on its error output from a
sanitizer (built with TARNWELL_SANITIZE, this covers leaks).

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

SANITIZER_MARKS = ('Sanitizer', 'runtime error:')


def fail(message):
    print('FAIL: ' + message, flush=True)
    sys.exit(1)


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + timeout
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
    _fields_ = [('xclient', XClientMessageEvent), ('pad', ctypes.c_long * 24)]


def close_windows_named(name):
    """Asks every top-level window called `name` to close, as a window manager
    does when its close button is pressed. Returns how many were asked."""
    x = ctypes.cdll.LoadLibrary('libX11.so.6')
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
    x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.c_void_p]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]

    display = x.XOpenDisplay(None)
    if not display:
        fail('cannot open the X display')
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    x.XQueryTree(display, x.XDefaultRootWindow(display), ctypes.byref(root),
                 ctypes.byref(parent), ctypes.byref(children), ctypes.byref(count))
    protocols = x.XInternAtom(display, b'WM_PROTOCOLS', 0)
    delete = x.XInternAtom(display, b'WM_DELETE_WINDOW', 0)
    asked = 0
    for i in range(count.value):
        window = children[i]
        title = ctypes.c_char_p()
        if x.XFetchName(display, window, ctypes.byref(title)) and title.value:
            matches = title.value.decode() == name
            x.XFree(title)
            if matches:
                event = XEvent()
                event.xclient.type = 33  # ClientMessage
                event.xclient.window = window
                event.xclient.message_type = protocols
                event.xclient.format = 32
                event.xclient.data[0] = delete
                x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
                asked += 1
    if children:
        x.XFree(children)
    x.XFlush(display)
    x.XCloseDisplay(display)
    return asked


def jack_ports(env):
    result = subprocess.run(['jack_lsp'], env=env, capture_output=True, text=True)
    return result.stdout.split('\n') if result.returncode == 0 else []


def run_and_quit(program, how, env, folder):
    errors_path = os.path.join(folder, how + '.stderr')
    with open(errors_path, 'w') as errors:
        panel = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=errors)
    try:
        wait_for(how + ': the MIDI client of the controller window',
                 lambda: 'MidiClient:OutPort' in jack_ports(env), 60)
        started = time.monotonic()
        if how == 'window':
            if close_windows_named('Tarnwell') == 0:
                fail('window: no window called Tarnwell')
        else:
            panel.send_signal(signal.SIGTERM if how == 'SIGTERM' else signal.SIGINT)
        try:
            status = panel.wait(timeout=20)
        except subprocess.TimeoutExpired:
            fail(how + ': still running 20 s after being asked to quit')
        print('%s: ended with status %d after %.0f ms' %
              (how, status, 1000 * (time.monotonic() - started)), flush=True)
    finally:
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
            for how in ('window', 'SIGTERM', 'SIGINT'):
                run_and_quit(program, how, env, home)
    finally:
        jackd.terminate()
        jackd.wait()
    print('PASS', flush=True)


if __name__ == '__main__':
    main()
