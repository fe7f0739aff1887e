#!/usr/bin/python3
"""A sending JACK MIDI peer built on python3-rtmidi: a controller for tests.

Opens the JACK MIDI output port "<client>:output" (client name from the first
argument, default "midi-sender") and sends the messages it reads from its
standard input, one per line as hex bytes ("b0 4a 7f"). A line "wait MS"
pauses. After each line it prints "sent N" (messages so far), so a test knows
its input was taken. rtmidi's JACK output garbles unpaced bursts: the test
paces what it writes, and every message is sent on its own. Ends at the end
of its input, on SIGTERM or on SIGINT.
"""
import signal
import sys
import time

import rtmidi

client = sys.argv[1] if len(sys.argv) > 1 else "midi-sender"
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
signal.signal(signal.SIGINT, lambda *_: sys.exit(0))

midi_out = rtmidi.MidiOut(rtmidi.API_UNIX_JACK, name=client)
midi_out.open_virtual_port("output")
print("ready", flush=True)

sent = 0
for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    if words[0] == "wait":
        time.sleep(float(words[1]) / 1000.0)
    else:
        midi_out.send_message([int(w, 16) for w in words])
        sent += 1
    print("sent %d" % sent, flush=True)
midi_out.close_port()
