"""Deadlines for the end-to-end scripts.

Every wait in these scripts is for a condition, with a deadline generous for a
quiet machine; TARNWELL_TEST_TIME_SCALE (default 1) stretches all of them at
once, for sanitizer builds and busy machines. The same setting scales the C++
end-to-end tests' deadlines (src/testing/jack_peer.hpp).
"""
import os


def time_scale():
    try:
        scale = float(os.environ.get('TARNWELL_TEST_TIME_SCALE', '1'))
    except ValueError:
        return 1.0
    return scale if scale >= 1.0 else 1.0


def scaled(seconds):
    return seconds * time_scale()
