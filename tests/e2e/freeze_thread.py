#!/usr/bin/env python3
"""Stops one thread of a running process, as a read from a stalled network
share would, while its other threads run on: freeze_thread.py TID SECONDS.

The thread is seized with ptrace and interrupted; it stays stopped until
SECONDS have passed or the process ends, then it is let go. Prints "frozen"
once the thread has stopped."""
import ctypes
import os
import sys
import time

PTRACE_SEIZE = 0x4206
PTRACE_INTERRUPT = 0x4207
PTRACE_DETACH = 17
WALL = 0x40000000

libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p]
libc.ptrace.restype = ctypes.c_long


def ptrace(request, tid):
    if libc.ptrace(request, tid, None, None) != 0:
        raise OSError(ctypes.get_errno(), os.strerror(ctypes.get_errno()))


def main():
    tid, seconds = int(sys.argv[1]), float(sys.argv[2])
    ptrace(PTRACE_SEIZE, tid)
    ptrace(PTRACE_INTERRUPT, tid)
    os.waitpid(tid, WALL)
    print("frozen", flush=True)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            # The process ended (the watchdog ended it): nothing to let go.
            pid, _ = os.waitpid(tid, WALL | os.WNOHANG)
            if pid == tid:
                return
        except ChildProcessError:
            return
        time.sleep(0.02)
    try:
        ptrace(PTRACE_DETACH, tid)
    except OSError:
        pass


main()
