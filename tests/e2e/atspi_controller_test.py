#!/usr/bin/python3
"""A hardware controller learned the way a screen reader user learns it: the
slider's own menu opened through its AT-SPI "ShowMenu" action, "Learn
Controller" pressed, then a CC from a python-rtmidi peer binds, and the next
move reaches a JACK peer as the slider's NRPN. The controller is plugged in
after the panel starts and found by the name kept in the settings; it quits and
comes back; the panel quits and starts again, and the binding and the source
are still there (the knob then waits for pickup).

Run inside an X server and a D-Bus session:
    xvfb-run -a dbus-run-session -- atspi_controller_test.py path/to/tarnwell
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_panel_test as panel_test  # noqa: E402
from atspi_panel_test import (fail, find, find_any, find_label, nrpn, wait_for,  # noqa: E402
                              wait_for_bytes)

import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402

SENDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support',
                      'midi_sender.py')
KNOBS = 'tw-atspi-knobs'
PARTIALS_A = 'f/hp*n = nf harmonic Partials A'


class Sender:
    """tests/support/midi_sender.py: a controller with the port KNOBS:output."""

    def __init__(self):
        self.process = subprocess.Popen(['/usr/bin/python3', SENDER, KNOBS],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        if self.process.stdout.readline().strip() != 'ready':
            fail('the sending peer did not start')

    def send(self, *message):
        self.process.stdin.write(' '.join('%02x' % b for b in message) + '\n')
        self.process.stdin.flush()
        self.process.stdout.readline()  # "sent N": taken

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Popups:
    """Popup menus as assistive technologies learn of them: a popup is no
    child of the application's tree, it is announced by an event when it
    shows."""

    def __init__(self):
        self.menus = []
        pyatspi.Registry.registerEventListener(self._seen, 'object:state-changed:showing')

    def _seen(self, event):
        try:
            if event.source.getRoleName() == 'popup menu' and event.detail1:
                self.menus.append(event.source)
        except Exception:
            pass

    def item(self, name):
        """The item `name` of the newest popup shown, once one has shown."""
        deadline = time.monotonic() + panel_test.scaled(20)
        while time.monotonic() < deadline:
            GLib.MainContext.default().iteration(False)
            for menu in reversed(self.menus):
                for i in range(menu.childCount):
                    child = menu.getChildAtIndex(i)
                    if child is not None and child.name == name:
                        return child
            time.sleep(0.02)
        fail('no popup menu with "%s" was shown' % name)


def do_action(node, wanted):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == wanted.lower():
            action.doAction(i)
            return
    fail('"%s" offers no %s action (it has %s)' % (
        node.name, wanted, [action.getName(i) for i in range(action.nActions)]))


def port_wired(source):
    listing = subprocess.run(['jack_lsp', '-c'], capture_output=True, text=True).stdout
    lines = listing.splitlines()
    for i, line in enumerate(lines):
        if line.startswith('MidiClient') and line.endswith(':InPort'):
            for follower in lines[i + 1:]:
                if not follower.startswith(' '):
                    break
                if follower.strip() == source:
                    return True
    return False


def start_panel(executable, home):
    environment = dict(os.environ, HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
                       JACK_NO_START_SERVER='1')
    return subprocess.Popen([executable], env=environment, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def stop_panel(panel):
    panel.terminate()
    try:
        panel.wait(timeout=panel_test.scaled(10))
    except subprocess.TimeoutExpired:
        panel.kill()


def application(desktop):
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == 'Tarnwell':
            return app
    return None


def main():
    if len(sys.argv) != 2:
        fail('usage: atspi_controller_test.py path/to/tarnwell')
    if shutil.which('jackd') is None:
        print('SKIP: jackd is not installed')
        return
    if subprocess.run(['jack_lsp'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                      timeout=10).returncode != 0:
        fail('no JACK server is running (scripts/test.sh and .ci/run start one)')

    bus = subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for('the accessibility bus', panel_test.accessibility_bus_ready, timeout=60)
    desktop = pyatspi.Registry.getDesktop(0)
    wait_for('the accessibility registry',
             lambda: desktop.childCount >= 0 and panel_test.registry_ready(), timeout=60)
    popups = Popups()
    peer = panel_test.Peer()
    wait_for('the peer port', lambda: 'midi-monitor:input' in subprocess.run(
        ['jack_lsp'], capture_output=True, text=True).stdout)
    home = tempfile.mkdtemp(prefix='tarnwell-atspi-controller-')
    # Chosen in an earlier run, by name; not plugged in yet.
    settings = os.path.join(home, '.config', 'Tarnwell')
    os.makedirs(settings)
    with open(os.path.join(settings, 'Tarnwell.conf'), 'w') as conf:
        conf.write('[controller]\ninput=%s:output\n' % KNOBS)
    panel = start_panel(sys.argv[1], home)
    sender = None
    try:
        app = wait_for('the panel on the accessibility bus', lambda: application(desktop),
                       timeout=60)
        wait_for('the connection to the peer', lambda: find_label(app, 'midi-monitor:input'),
                 timeout=60)
        sender = Sender()
        wait_for('the late controller wired to InPort', lambda: port_wired(KNOBS + ':output'))

        slider = wait_for('the Partials A slider', lambda: find(app, 'slider', PARTIALS_A))
        do_action(slider, 'ShowMenu')
        do_action(popups.item('Learn Controller'), 'Press')
        wait_for('the learning prompt', lambda: find_any(
            app, lambda n: n.getRoleName() == 'label'
            and n.name.startswith('Move a knob or press a key on the controller')))
        peer.take()
        sender.send(0xB0, 74, 0)
        wait_for('the binding', lambda: find_any(
            app, lambda n: n.getRoleName() == 'label'
            and n.name.startswith('CC 74, channel 1 now moves')))
        sender.send(0xB0, 74, 1)
        wait_for_bytes(peer, nrpn(3, 129), 'CC 74 moving Partials A')
        print('learned through the menu\'s accessible action; CC 74 moves Partials A',
              flush=True)

        # The same menu locks the parameter against Mutate and Morph, and
        # unlocks it again; the slider says so to a screen reader.
        for locked in (True, False):
            do_action(slider, 'ShowMenu')
            do_action(popups.item('Lock'), 'Press')
            wait_for('Partials A %s' % ('locked' if locked else 'unlocked'),
                     lambda: slider.description.startswith('Locked') == locked)
        print('locked and unlocked through the menu\'s accessible action', flush=True)

        # The controller quits and comes back under the same name.
        sender.stop()
        wait_for('the controller gone', lambda: not port_wired(KNOBS + ':output'))
        sender = Sender()
        wait_for('the controller wired again', lambda: port_wired(KNOBS + ':output'))
        # Its knob may have moved meanwhile: it is taken up again once it
        # meets the panel's value.
        peer.take()
        sender.send(0xB0, 74, 3)  # away from the panel's 129: ignored
        sender.send(0xB0, 74, 1)  # meets it
        wait_for_bytes(peer, nrpn(3, 129), 'CC 74 taken up after the controller came back')
        sender.send(0xB0, 74, 3)
        wait_for_bytes(peer, nrpn(3, 387), 'CC 74 followed after the controller came back')

        # The panel quits and starts again: binding and source are kept; the
        # knob waits until it meets the panel's value again.
        stop_panel(panel)
        wait_for('the panel gone', lambda: application(desktop) is None)
        panel = start_panel(sys.argv[1], home)
        app = wait_for('the panel again', lambda: application(desktop), timeout=60)
        wait_for('the connection to the peer again',
                 lambda: find_label(app, 'midi-monitor:input'), timeout=60)
        wait_for('the controller wired after the restart', lambda: port_wired(KNOBS + ':output'))
        peer.take()
        sender.send(0xB0, 74, 40)  # far from the panel's 0: ignored
        sender.send(0xB0, 74, 0)   # meets it: followed from here
        wait_for_bytes(peer, nrpn(3, 0), 'pickup after the restart')
        sender.send(0xB0, 74, 2)
        wait_for_bytes(peer, nrpn(3, 258), 'the knob after the restart')
        print('the source and the binding came back after restarts of the controller and of '
              'the panel', flush=True)
    finally:
        if sender is not None:
            sender.stop()
        stop_panel(panel)
        peer.stop()
        bus.terminate()
        shutil.rmtree(home, ignore_errors=True)
    print('PASS')


if __name__ == '__main__':
    main()
