"""Programs an end-to-end client starts end with the client, however it
ends: a failed check, an exception, or SIGTERM from the script's timeout."""

import atexit
import signal
import subprocess
import sys

_children = []


def start(*args, **kwargs):
    """subprocess.Popen, for a child that must not outlive this client."""
    child = subprocess.Popen(*args, **kwargs)
    _children.append(child)
    return child


def _stop_children():
    for child in _children:
        if child.poll() is None:
            child.kill()
            child.wait()


atexit.register(_stop_children)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
