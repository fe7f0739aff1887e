#!/usr/bin/env python3
"""Writes the large hostile preset files into the folder given (too big to keep
in the repository): deep nesting, oversized files, invalid UTF-8, overflowing
numbers, very long lists, and a 15 MiB list whose numbers are spelled short so
that they grow when the panel writes them."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

FLAGS = ('"voiceModeToggle":false,"drumModeToggle":false,"filterModeToggle":false,'
         '"regenModeToggle":false,"regen2ModeToggle":false')


def preset(values):
    return '{"values":[' + ','.join(values) + '],"modStates":[false,false,false,false,false,false,false,false],' + FLAGS + '}'


def write(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())


write('nested-arrays-100000.json', '[' * 100000 + ']' * 100000)
write('nested-in-unknown-member.json', '[{"x":' + '[' * 100000 + ']' * 100000 + '}]')
write('nested-objects-100000.json', '{"a":' * 100000 + '1' + '}' * 100000)
write('fifty-mib.json', '[' + ' ' * (50 << 20) + ']')
write('invalid-utf8.json', b'[{"values":[],"name":"\xff\xfe\xc3\x28"}]')
write('overflow-1e400.json', '[' + preset(['1e400'] + ['0'] * 41) + ']')
write('underflow-1e-400.json', '[' + preset(['1e-400'] + ['0'] * 41) + ']')
write('presets-100000.json', '[' + ','.join(preset([]) for _ in range(100000)) + ']')
write('presets-10000-full.json',
      '[' + ','.join(preset(['%d.%d' % (i % 16384, i) for i in range(42)]) for _ in range(10000)) + ']')
# 43,210 full presets whose values are all "1e5": written back they grow by a
# quarter, past the size of the file they came from.
write('short-numbers-15-mib.json', '[' + ','.join(preset(['1e5'] * 42) for _ in range(43210)) + ']')
