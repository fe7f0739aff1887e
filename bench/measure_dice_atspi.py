#!/usr/bin/python3
"""Dice pressed through AT-SPI, timed from the press to the 42nd sequence at
a JACK peer, first with nobody listening to the panel's accessibility
events, then with listeners for value and state changes registered as a
screen reader registers them. Run through measure_dice_atspi.sh."""
import os
import statistics
import subprocess
import sys
import tempfile
import shutil
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import atspi_panel_test as panel  # noqa: E402

import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402

SEQUENCE = 12


def press_and_time(app, peer, dice, presses, pump):
    figures = []
    for _ in range(presses):
        peer.take()
        received = 0
        start = time.monotonic()
        panel.press(dice)
        deadline = start + 60
        while received < 42 * SEQUENCE and time.monotonic() < deadline:
            if pump:
                GLib.MainContext.default().iteration(False)
            received += len(peer.take())
            time.sleep(0.002)
        if received < 42 * SEQUENCE:
            panel.fail('dice: only %d bytes within 60 s' % received)
        figures.append(1000 * (time.monotonic() - start))
        # The tail of this throw (and any listener's events) before the next.
        settle = time.monotonic() + 0.3
        while time.monotonic() < settle:
            if pump:
                GLib.MainContext.default().iteration(False)
            time.sleep(0.01)
    return figures


def report(what, figures):
    print('%-44s median %7.1f ms  max %7.1f ms  (%d presses)' %
          (what, statistics.median(figures), max(figures), len(figures)), flush=True)


def main():
    if len(sys.argv) < 2:
        panel.fail('usage: measure_dice_atspi.py path/to/tarnwell [presses]')
    presses = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    bus = subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    panel.wait_for('the accessibility bus', panel.accessibility_bus_ready, timeout=60)
    desktop = pyatspi.Registry.getDesktop(0)
    panel.wait_for('the accessibility registry',
                   lambda: desktop.childCount >= 0 and panel.registry_ready(), timeout=60)
    peer = panel.Peer()
    home = tempfile.mkdtemp(prefix='tarnwell-dice-')
    environment = dict(os.environ, HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
                       JACK_NO_START_SERVER='1')
    program = subprocess.Popen([sys.argv[1]], env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        def application():
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == 'Tarnwell':
                    return app
            return None
        app = panel.wait_for('the panel on the accessibility bus', application, timeout=60)
        panel.wait_for('the connection to the peer',
                       lambda: panel.find_label(app, 'midi-monitor:input'), timeout=60)
        dice = panel.wait_for('the dice button', lambda: panel.find(app, 'push button', 'dice'))
        print('%s, accessibility on' % sys.argv[1], flush=True)
        report('dice to the peer, no listener', press_and_time(app, peer, dice, presses, False))

        events = []

        def heard(event):
            events.append(event.type)
        kinds = ['object:property-change:accessible-value', 'object:value-changed',
                 'object:state-changed', 'object:property-change:accessible-name']
        for kind in kinds:
            pyatspi.Registry.registerEventListener(heard, kind)
        figures = press_and_time(app, peer, dice, presses, True)
        report('dice to the peer, a screen reader listening', figures)
        print('%-44s %d events a throw' % ('accessibility events heard', len(events) // presses),
              flush=True)
    finally:
        program.terminate()
        try:
            program.wait(timeout=10)
        except subprocess.TimeoutExpired:
            program.kill()
        peer.stop()
        bus.terminate()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == '__main__':
    main()
