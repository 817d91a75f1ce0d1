#!/usr/bin/env python3
"""Runs a program with the openat2 system call refused, as a container's
seccomp filter refuses calls it does not know.

    without_openat2.py ENOSYS|EPERM PROGRAM [ARGUMENT...]

Exits with 125 when the filter cannot be installed."""
import ctypes
import errno
import os
import struct
import sys

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
SECCOMP_RET_ALLOW = 0x7FFF0000
SECCOMP_RET_ERRNO = 0x00050000
BPF_LD_W_ABS = 0x20
BPF_JEQ_K = 0x15
BPF_RET_K = 0x06
NR_OPENAT2 = 437  # the same on every architecture


def instruction(code, k, jt=0, jf=0):
    return struct.pack("HBBI", code, jt, jf, k)


class SockFprog(ctypes.Structure):
    _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("ENOSYS", "EPERM"):
        sys.exit(__doc__)
    code = getattr(errno, sys.argv[1])
    program = b"".join([
        instruction(BPF_LD_W_ABS, 0),  # the call's number
        instruction(BPF_JEQ_K, NR_OPENAT2, 0, 1),
        instruction(BPF_RET_K, SECCOMP_RET_ERRNO | code),
        instruction(BPF_RET_K, SECCOMP_RET_ALLOW),
    ])
    buffer = ctypes.create_string_buffer(program, len(program))
    fprog = SockFprog(len(program) // 8, ctypes.addressof(buffer))
    libc = ctypes.CDLL(None, use_errno=True)
    if (libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 or
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(fprog), 0, 0) != 0):
        print("without_openat2: cannot install the filter:", os.strerror(ctypes.get_errno()),
              file=sys.stderr)
        sys.exit(125)
    # The filter must answer as asked, or the test would prove nothing.
    libc.syscall.restype = ctypes.c_long
    if libc.syscall(NR_OPENAT2, -100, b".", None, 0) != -1 or ctypes.get_errno() != code:
        print("without_openat2: openat2 is not refused", file=sys.stderr)
        sys.exit(125)
    os.execvp(sys.argv[2], sys.argv[2:])


main()
