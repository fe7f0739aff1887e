#!/usr/bin/python3
"""A receiving JACK MIDI peer built on python3-rtmidi.

Opens the JACK MIDI input port "<client>:input" (client name from the first
argument, default "midi-peer") and prints every message it receives as
"0: b0 63 00", one line each, the format jack_midi_dump uses. No Python runs
on the JACK thread: rtmidi's JACK input queues the events in C++ (a Python
callback would need the interpreter lock there, finish its cycle late and read
a buffer the next cycle is already rewriting); the main thread drains the
queue, so a slow reader of our output costs no event. Stops on SIGTERM or
SIGINT.
"""
import signal
import sys
import time

import rtmidi

client = sys.argv[1] if len(sys.argv) > 1 else "midi-peer"
running = True


def on_signal(_signum, _frame):
    global running
    running = False


signal.signal(signal.SIGTERM, on_signal)
signal.signal(signal.SIGINT, on_signal)

midi_in = rtmidi.MidiIn(rtmidi.API_UNIX_JACK, name=client, queue_size_limit=1 << 16)
midi_in.open_virtual_port("input")

out = sys.stdout.buffer
while running:
    batch = []
    while True:
        event = midi_in.get_message()
        if event is None:
            break
        batch.append("0: %s\n" % bytes(event[0]).hex(" "))
    if batch:
        out.write("".join(batch).encode())
        out.flush()
    else:
        time.sleep(0.005)
midi_in.close_port()
