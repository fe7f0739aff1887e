#!/usr/bin/python3
"""Drives the real panel the way a screen reader or an accessibility test tool
does, through AT-SPI, while a JACK peer listens: every control must
be announced by name, and acting on controls through AT-SPI alone must change
the panel and put the right NRPN bytes on the wire.

Run inside an X server and a D-Bus session:
    xvfb-run -a dbus-run-session -- atspi_panel_test.py path/to/tarnwell
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import pyatspi
from gi.repository import Gio, GLib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from test_time import scaled  # noqa: E402

MIDI_PEER = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support',
                         'midi_peer.py')

INTERACTIVE = {'push button', 'toggle button', 'check box', 'slider', 'combo box', 'page tab'}


def fail(message):
    print('FAIL: ' + message, flush=True)
    sys.exit(1)


def wait_for(what, predicate, timeout=20.0):
    deadline = time.monotonic() + scaled(timeout)
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    fail('timed out waiting for ' + what)


class Peer:
    """A python-rtmidi JACK peer on the port "midi-monitor:input", collecting
    the bytes it receives. Not jack_midi_dump: on a loaded machine its reader
    falls behind and it drops events, and a dropped event is not the panel's
    fault."""

    def __init__(self):
        self.bytes = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(['/usr/bin/python3', MIDI_PEER, 'midi-monitor'],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if ':' not in line:
                continue
            # "0: b0 63 00"
            data = line.split(':', 1)[1].split()[:3]
            try:
                values = [int(b, 16) for b in data]
            except ValueError:
                continue
            with self.lock:
                self.bytes.extend(values)

    def take(self):
        with self.lock:
            taken, self.bytes = self.bytes, []
        return taken

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=5)


def accessibility_bus_ready():
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    for name in ('org.a11y.Bus',):
        reply = session.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus',
                                  'org.freedesktop.DBus', 'NameHasOwner',
                                  GLib.Variant('(s)', (name,)), GLib.VariantType('(b)'),
                                  Gio.DBusCallFlags.NONE, 5000, None)
        if not reply.unpack()[0]:
            return False
    return True


def registry_ready():
    reply = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    address = reply.call_sync('org.a11y.Bus', '/org/a11y/bus', 'org.a11y.Bus', 'GetAddress', None,
                              GLib.VariantType('(s)'), Gio.DBusCallFlags.NONE, 5000, None)
    bus = Gio.DBusConnection.new_for_address_sync(
        address.unpack()[0],
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)
    owned = bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                          'NameHasOwner', GLib.Variant('(s)', ('org.a11y.atspi.Registry',)),
                          GLib.VariantType('(b)'), Gio.DBusCallFlags.NONE, 5000, None)
    bus.close_sync(None)
    return owned.unpack()[0]


def nrpn(parameter, value):
    return [0xB0, 99, parameter >> 7, 0xB0, 98, parameter & 0x7F,
            0xB0, 6, value >> 7, 0xB0, 38, value & 0x7F]


def walk(node, found):
    try:
        role = node.getRoleName()
        states = node.getState()
    except Exception:
        return
    if not states.contains(pyatspi.STATE_SHOWING) and role != 'page tab':
        return
    if role in INTERACTIVE:
        found.append(node)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, found)


def spoken_name(node):
    """What a screen reader announces a control by: the label that labels it
    (Qt gives a picker its current row as name and its label as relation),
    otherwise its own name."""
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                name = relation.getTarget(i).name
                if name.strip():
                    return name
    return node.name


def find(app, role, name):
    found = []
    walk(app, found)
    for node in found:
        if node.getRoleName() == role and spoken_name(node) == name:
            return node
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ('Press', 'press', 'Toggle', 'toggle', 'click', 'SetFocus'):
            if action.getName(i) != 'SetFocus':
                action.doAction(i)
                return
    action.doAction(0)


def toggle(node):
    """An assistive technology's toggle action, not a click."""
    if node is None:
        fail('no such control to toggle')
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == 'toggle':
            action.doAction(i)
            return
    fail('"%s" offers no toggle action' % node.name)


def wait_for_bytes(peer, expected, what):
    received = []

    def arrived():
        received.extend(peer.take())
        return received[:len(expected)] == expected if len(received) >= len(expected) else False

    # Generous: a sanitizer build on a busy two-core machine is slow.
    deadline = time.monotonic() + scaled(60)
    while time.monotonic() < deadline:
        if arrived():
            return received
        time.sleep(0.05)
    fail('%s: expected %s, received %s' % (what, ' '.join('%02x' % b for b in expected),
                                           ' '.join('%02x' % b for b in received)))


def main():
    if len(sys.argv) != 2:
        fail('usage: atspi_panel_test.py path/to/tarnwell')
    if shutil.which('jackd') is None:
        print('SKIP: jackd is not installed')
        return
    if subprocess.run(['jack_lsp'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                      timeout=10).returncode != 0:
        fail('no JACK server is running (scripts/test.sh and .ci/run start one)')

    bus = subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The panel looks for the accessibility bus once, at start: start it only
    # when the bus is there.
    wait_for('the accessibility bus', accessibility_bus_ready, timeout=60)
    # Asking for the desktop starts the registry the panel registers with.
    desktop = pyatspi.Registry.getDesktop(0)
    wait_for('the accessibility registry', lambda: desktop.childCount >= 0 and registry_ready(),
             timeout=60)
    peer = Peer()
    wait_for('the peer port', lambda: 'midi-monitor:input' in subprocess.run(
        ['jack_lsp'], capture_output=True, text=True).stdout)
    home = tempfile.mkdtemp(prefix='tarnwell-atspi-')
    seed_morph_presets(home)
    environment = dict(os.environ, HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
                       JACK_NO_START_SERVER='1')
    panel = subprocess.Popen([sys.argv[1]], env=environment, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        def application():
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == 'Tarnwell':
                    return app
            return None

        app = wait_for('the panel on the accessibility bus', application, timeout=60)
        picker = wait_for('the controller window', lambda: find(app, 'combo box', 'MIDI Output'),
                          timeout=60)
        wait_for('the connection to the peer', lambda: find_label(app, 'midi-monitor:input'))

        controls = []
        walk(app, controls)
        unnamed = [c.getRoleName() for c in controls if not spoken_name(c).strip()]
        if unnamed:
            fail('controls without a name: %s' % unnamed)
        if len(controls) < 25:
            fail('only %d controls reachable' % len(controls))
        print('%d controls, every one named' % len(controls), flush=True)

        monitor_item = find_any(app, lambda n: n.getRoleName() in ('menu item', 'check menu item')
                                and n.name == 'MIDI Monitor')
        if monitor_item is None:
            fail('no "MIDI Monitor" item in the menus')
        press(monitor_item)
        wait_for('the MIDI monitor', lambda: find_any(
            app, lambda n: n.getRoleName() in ('tree table', 'tree', 'table')
            and n.name == 'Sent MIDI'))

        peer.take()
        press(find(app, 'push button', 'Reset DAC'))
        wait_for_bytes(peer, nrpn(100, 127), 'Reset DAC')
        wait_for('"Reset DAC" as NRPN 100 with 127 in the monitor', lambda: monitor_shows(
            app, ['100', 'Reset DAC', '127']))

        voice = find(app, 'check box', 'Voice allocation A')
        if voice is None:
            fail('no "Voice allocation A" toggle')
        press(voice)
        wait_for_bytes(peer, nrpn(130, 130), 'Voice allocation on')
        wait_for('the toggle to read "Voice allocation B"',
                 lambda: find(app, 'check box', 'Voice allocation B'))

        slider = find(app, 'slider', 'T = (f) Tuning A')
        value = slider.queryValue()
        value.currentValue = value.maximumValue
        wait_for_bytes(peer, nrpn(5, 16383), 'Tuning A to its maximum')

        # Values in the units shown: 1000 is 1000 on the wire, not 1000/64.
        odd = find(app, 'slider', 'f/oh*n = (2n -1 ) f Odd harmonics A').queryValue()
        if odd.maximumValue != 16383 or odd.minimumIncrement != 1:
            fail('a parameter slider reports %s..%s step %s' % (
                odd.minimumValue, odd.maximumValue, odd.minimumIncrement))
        odd.currentValue = 1000
        wait_for_bytes(peer, nrpn(1, 1000), 'Odd harmonics A set to 1000')

        # Checkable buttons (Qt shows them as check boxes) follow their toggle
        # action: the model changes and the synthesizer hears it.
        toggle(find(app, 'check box', 'multiplication'))
        wait_for_bytes(peer, nrpn(102, 127), 'multiplication of unit A on')
        toggle(find(app, 'check box', 'Group'))
        wait_for('unit A grouped', lambda: find(app, 'check box', 'Ungroup'))
        press(find_any(app, lambda n: n.getRoleName() == 'page tab' and n.name == 'Voice 3'))
        wait_for('the Voice 3 page', lambda: find(app, 'slider', 'f/eh*n = 2n/f Even harmonics C'))
        toggle(find(app, 'check box', 'Group'))
        wait_for('unit C grouped', lambda: find(app, 'check box', 'Ungroup'))
        press(find_any(app, lambda n: n.getRoleName() == 'page tab' and n.name == 'Voice 1'))
        even = wait_for('the Voice 1 page',
                        lambda: find(app, 'slider', 'f/eh*n = 2n/f Even harmonics A'))
        peer.take()
        even.queryValue().currentValue = 2000
        wait_for_bytes(peer, nrpn(2, 2000) + nrpn(14, 2000), 'slot 2 of A mirrored into C')

        press(find(app, 'push button', 'dice'))
        received = []
        deadline = time.monotonic() + scaled(60)
        while len(received) < 42 * 12 and time.monotonic() < deadline:
            received.extend(peer.take())
            time.sleep(0.05)
        parameters = [received[i + 2] << 7 | received[i + 5] for i in range(0, len(received) - 11, 12)]
        if parameters[:42] != list(range(1, 43)):
            fail('dice sent parameters %s' % parameters[:42])
        print('Reset DAC (shown in the MIDI monitor), a mode toggle, a slider and dice all '
              'reached the peer', flush=True)

        presets_by_assistive_actions(app, peer)
        explore_by_assistive_actions(app, peer)
        del picker
    finally:
        panel.terminate()
        try:
            panel.wait(timeout=scaled(10))
        except subprocess.TimeoutExpired:
            panel.kill()
        peer.stop()
        bus.terminate()
        shutil.rmtree(home, ignore_errors=True)
    print('PASS')


def set_text(node, text):
    """Types into a text field as an assistive technology does: through its
    editable text, not key presses."""
    if node is None:
        fail('no text field to fill')
    node.queryEditableText().setTextContents(text)


def presets_by_assistive_actions(app, peer):
    """Save Preset As, Compare and renaming, driven by AT-SPI actions alone."""
    def name_field():
        return find_any(app, lambda n: n.getRoleName() in ('text', 'entry')
                        and spoken_name(n) == 'Name'
                        and n.getState().contains(pyatspi.STATE_SHOWING))

    def preset_picker():
        return find_any(app, lambda n: n.getRoleName() == 'combo box'
                        and spoken_name(n) == 'Select Preset')

    peer.take()
    press(find(app, 'push button', 'Save As...'))
    name = wait_for('the Save Preset As dialog', name_field)
    set_text(name, 'Glass Bells')
    press(find(app, 'push button', 'Save'))
    wait_for('the picker to show the named preset',
             lambda: preset_picker() is not None and preset_picker().name == '1  Glass Bells')

    # The first bytes after the save are the edit's: the save sent nothing.
    tuning = find(app, 'slider', 'T = (f) Tuning A').queryValue()
    saved = int(tuning.currentValue)
    edited = 1234 if saved != 1234 else 4321
    tuning.currentValue = edited
    wait_for_bytes(peer, nrpn(5, edited), 'Tuning A edited')
    wait_for('the marker on the edited preset', lambda: preset_picker().name == '1  Glass Bells *')
    compare = wait_for('the Compare button', lambda: find(app, 'check box', 'Compare'))
    toggle(compare)
    wait_for_bytes(peer, nrpn(5, saved), 'Compare sends only the saved Tuning A')
    toggle(find(app, 'check box', 'Compare'))
    wait_for_bytes(peer, nrpn(5, edited), 'Compare again sends only the edited Tuning A')

    rename = find_any(app, lambda n: n.getRoleName() == 'menu item'
                      and n.name == 'Rename Preset...')
    if rename is None:
        fail('no "Rename Preset..." item in the menus')
    press(rename)
    name = wait_for('the Rename Preset dialog', name_field)
    set_text(name, 'Dark Bells')
    press(find(app, 'push button', 'Rename'))
    wait_for('the picker to show the new name',
             lambda: preset_picker().name == '1  Dark Bells *')
    print('Save Preset As, Compare and renaming by assistive actions alone', flush=True)


# Two presets far apart for the morph, kept where the panel reads them at
# start: slots 50 and 51 of the stored list, chosen as the morph's A and B.
MORPH_A = [1000 + 10 * i for i in range(42)]
MORPH_B = [15000 - 200 * i for i in range(42)]


def seed_morph_presets(home):
    def preset(values, mod_a, name):
        return {'values': values, 'modStates': [mod_a] + [False] * 7,
                'voiceModeToggle': False, 'drumModeToggle': False, 'filterModeToggle': False,
                'regenModeToggle': False, 'regen2ModeToggle': False, 'name': name}
    presets = [preset([0] * 42, False, '') for _ in range(100)]
    presets[49] = preset(MORPH_A, False, 'Morph A')
    presets[50] = preset(MORPH_B, True, 'Morph B')
    os.makedirs(os.path.join(home, 'Documents'))
    with open(os.path.join(home, 'Documents', 'presets.json'), 'w') as out:
        json.dump(presets, out)
    os.makedirs(os.path.join(home, '.config', 'Tarnwell'))
    with open(os.path.join(home, '.config', 'Tarnwell', 'Tarnwell.conf'), 'w') as out:
        out.write('[options]\nrestorePresetsAtStart=true\n\n'
                  '[explore]\nmorphPresetA=49\nmorphPresetB=50\n')


def sequences(received):
    """(parameter, value) of each whole NRPN sequence in `received`."""
    return [(received[i + 2] << 7 | received[i + 5], received[i + 8] << 7 | received[i + 11])
            for i in range(0, len(received) - 11, 12)]


def collect_until(peer, what, done, timeout=60, received=None):
    """Collects into `received` (bytes) until `done` holds for its sequences."""
    received = [] if received is None else received
    deadline = time.monotonic() + scaled(timeout)
    while time.monotonic() < deadline:
        received.extend(peer.take())
        if done(sequences(received)):
            return sequences(received)
        time.sleep(0.05)
    fail('%s: received %s' % (what, sequences(received)))


def until_quiet(peer, quiet=0.5):
    """What the peer receives until nothing has come for `quiet` seconds
    (scaled), within a minute: the tail of a burst already on its way."""
    received = []
    deadline = time.monotonic() + scaled(60)
    last = time.monotonic()
    while time.monotonic() < deadline:
        more = peer.take()
        if more:
            received.extend(more)
            last = time.monotonic()
        elif time.monotonic() - last >= scaled(quiet):
            return received
        time.sleep(0.05)
    fail('the peer never fell quiet: %d bytes' % len(received))


def checked(node):
    return node is not None and node.getState().contains(pyatspi.STATE_CHECKED)


def explore_by_assistive_actions(app, peer):
    """Lock Unit, Mutate from the menu and the Morph slider set by value, by
    AT-SPI actions alone, with the bytes checked at the JACK peer."""
    def menu_item(name):
        return find_any(app, lambda n: n.getRoleName() in ('menu item', 'check menu item')
                        and n.name == name)

    press(find_any(app, lambda n: n.getRoleName() == 'page tab' and n.name == 'Voice 1'))
    toggle(wait_for('Lock Unit on Voice 1', lambda: find(app, 'check box', 'Lock Unit')))
    wait_for('unit A locked', lambda: checked(find(app, 'check box', 'Lock Unit')))
    until_quiet(peer)
    mutate = menu_item('Mutate')
    if mutate is None:
        fail('no "Mutate" item in the menus')
    press(mutate)
    wait_for('"Undo mutate" in the Edit menu', lambda: menu_item('Undo mutate'))
    # Once each, in index order, never a parameter of unit A, nor of unit C,
    # grouped with A above: a slot locked in one grouped unit holds in all.
    raw = []
    collect_until(peer, 'Mutate', lambda seen: len(seen) >= 30, received=raw)
    raw.extend(until_quiet(peer))
    mutated = sequences(raw)
    numbers = [p for p, _ in mutated]
    if (numbers != sorted(set(numbers)) or max(numbers) > 42
            or any(p <= 6 or 13 <= p <= 18 for p in numbers)):
        fail('Mutate sent parameters %s' % numbers)
    print('Mutate from the menu sent %d parameters once each, in order, none locked'
          % len(numbers), flush=True)

    press(wait_for('"Morph" in the View menu', lambda: menu_item('Morph')))
    slider = wait_for('the Morph slider', lambda: find(app, 'slider', 'Morph'))
    value = slider.queryValue()
    if value.maximumValue != 100:
        fail('the Morph slider reaches %s, not 100 %%' % value.maximumValue)
    # Unlock unit A again so the whole sound moves from A to B.
    toggle(find(app, 'check box', 'Lock Unit'))
    wait_for('unit A unlocked', lambda: not checked(find(app, 'check box', 'Lock Unit')))
    until_quiet(peer)
    value.currentValue = 0
    collect_until(peer, 'the morph at A', lambda seen: dict(seen).get(42) == MORPH_A[41])
    until_quiet(peer)
    value.currentValue = 100
    expected_b = {i + 1: v for i, v in enumerate(MORPH_B)}

    def ends_on_b(seen):
        last = dict(seen)
        return all(last.get(p) == v for p, v in expected_b.items())
    seen = collect_until(peer, 'the morph from A to B', ends_on_b)
    if (102, 127) not in seen:
        fail('the morph to B did not turn B\'s mod button on: %s' % seen)
    wait_for('"Undo morph" in the Edit menu', lambda: menu_item('Undo morph'))
    print('the Morph slider set by value went from A to B; the peer ends on B\'s values',
          flush=True)


def find_any(node, predicate, depth=0):
    """The first node under `node`, shown or not, that `predicate` accepts."""
    if depth > 20:
        return None
    try:
        if predicate(node):
            return node
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                hit = find_any(child, predicate, depth + 1)
                if hit:
                    return hit
    except Exception:
        return None
    return None


def monitor_shows(app, cells):
    """Whether the monitor's lines hold `cells` side by side in one line."""
    lines = find_any(app, lambda n: n.getRoleName() in ('tree table', 'tree', 'table')
                     and n.name == 'Sent MIDI')
    if lines is None:
        return False
    names = [lines.getChildAtIndex(i).name for i in range(lines.childCount)]
    return any(names[i:i + len(cells)] == cells for i in range(len(names)))


def find_label(app, text):
    def search(node, depth=0):
        if depth > 15:
            return None
        try:
            if node.getRoleName() == 'label' and node.name == text:
                return node
            for i in range(node.childCount):
                child = node.getChildAtIndex(i)
                if child is not None:
                    hit = search(child, depth + 1)
                    if hit:
                        return hit
        except Exception:
            return None
        return None
    return search(app)


if __name__ == '__main__':
    main()
