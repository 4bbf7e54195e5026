#!/usr/bin/env python3
"""A host in Python, through the C interface with ctypes (the standard
library only): signs on, registers a function, keeps it by pumping the
thread's timers until the heartbeat has gone out BEATS times (one a minute;
default 1, 0 does not wait), reads who holds it, and releases it again.

    python3 hello_ctypes.py LIBRARY ACC YEAR USER PASSWORD DATE [BEATS]

TARN_REGISTRY names the registry file of a `tarn db init --demo` directory.
Exits 0 when everything worked."""
import ctypes
import select
import sys

TARN_EMPTY, TARN_NULL, TARN_I2, TARN_I4, TARN_R8, TARN_DATE, TARN_STRING, TARN_OBJECT, TARN_BOOL = (
    0, 1, 2, 3, 5, 7, 8, 9, 11)


class Variant(ctypes.Structure):
    pass


class Array(ctypes.Structure):
    _fields_ = [("items", ctypes.POINTER(Variant)), ("count", ctypes.c_int32), ("lower_bound", ctypes.c_int32)]


class Value(ctypes.Union):
    _fields_ = [("i2", ctypes.c_int16), ("i4", ctypes.c_int32), ("r8", ctypes.c_double), ("date", ctypes.c_double),
                ("boolean", ctypes.c_int32), ("string", ctypes.c_char_p), ("object", ctypes.c_void_p),
                ("array", Array)]


Variant._fields_ = [("type", ctypes.c_int), ("value", Value)]


class Login:
    """A TarnLogin.clsLogin object of the library."""

    def __init__(self, lib):
        self.lib = lib
        lib.tarn_create.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
        lib.tarn_invoke.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(Variant), ctypes.c_int32,
                                    ctypes.POINTER(Variant)]
        lib.tarn_get.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(Variant)]
        lib.tarn_release.argtypes = [ctypes.c_void_p]
        lib.tarn_error_description.restype = ctypes.c_char_p
        lib.tarn_variant_set_string.argtypes = [ctypes.POINTER(Variant), ctypes.c_char_p]
        lib.tarn_variant_set_i2.argtypes = [ctypes.POINTER(Variant), ctypes.c_int16]
        lib.tarn_variant_clear.argtypes = [ctypes.POINTER(Variant)]
        lib.tarn_millis_until_next_timer.restype = ctypes.c_int64
        self.handle = ctypes.c_void_p()
        self.check(lib.tarn_create(b"TarnLogin.clsLogin", ctypes.byref(self.handle)), "create")

    def check(self, rc, what):
        if rc != 0:
            raise RuntimeError("%s: error %d: %s" % (what, rc, self.lib.tarn_error_description().decode()))

    def value(self, v):
        if v.type == TARN_STRING:
            return v.value.string.decode()
        if v.type == TARN_BOOL:
            return bool(v.value.boolean)
        if v.type == TARN_I2:
            return v.value.i2
        if v.type == TARN_I4:
            return v.value.i4
        return None

    def call(self, member, *args):
        argv = (Variant * max(len(args), 1))()
        for i, a in enumerate(args):
            if isinstance(a, int):
                self.lib.tarn_variant_set_i2(ctypes.byref(argv[i]), a)
            else:
                self.lib.tarn_variant_set_string(ctypes.byref(argv[i]), a.encode())
        result = Variant()
        try:
            self.check(self.lib.tarn_invoke(self.handle, member.encode(), argv, len(args), ctypes.byref(result)),
                       member)
            return self.value(result)
        finally:
            self.lib.tarn_variant_clear(ctypes.byref(result))
            for i in range(len(args)):
                self.lib.tarn_variant_clear(ctypes.byref(argv[i]))

    def get(self, name):
        result = Variant()
        try:
            self.check(self.lib.tarn_get(self.handle, name.encode(), ctypes.byref(result)), name)
            return self.value(result)
        finally:
            self.lib.tarn_variant_clear(ctypes.byref(result))

    def release(self):
        self.check(self.lib.tarn_release(self.handle), "release")

    def pump_heartbeats(self, wanted):
        """The host's loop: wait for the thread's next timer, then pump. The
        heartbeat runs only here, on the thread that created the object."""
        beats = 0
        if wanted > 0:
            print("waiting for %d heartbeat(s) to the management service, the first in 60 s" % wanted, flush=True)
        poller = select.poll()
        poller.register(self.lib.tarn_timer_fd(), select.POLLIN)
        while beats < wanted:
            wait = self.lib.tarn_millis_until_next_timer()
            if wait < 0:
                break  # no timer: nothing will ever beat
            poller.poll(wait)
            fired = self.lib.tarn_pump_messages()
            if fired > 0:
                beats += fired
                print("heartbeat %d, LogState %d" % (beats, self.get("LogState")), flush=True)
        return beats


def main(argv):
    if len(argv) not in (7, 8):
        print(__doc__, file=sys.stderr)
        return 2
    lib = ctypes.CDLL(argv[1])
    login = Login(lib)
    acc, year, user, password, date = argv[2:7]
    wanted_beats = int(argv[7]) if len(argv) == 8 else 1
    if not login.call("Login", "GL", acc, year, user, password, date):
        print("refused:", login.get("ShareString"))
        return 1
    print("signed on as %s in %s %s" % (login.get("cUserName"), login.get("cAcc_Id"), login.get("cIYear")))
    granted = login.call("TaskExec", "GL0101", -1)
    print("TaskExec GL0101:", "granted" if granted else "refused: " + login.get("ShareString"), flush=True)
    if login.pump_heartbeats(wanted_beats) < wanted_beats:
        print("the heartbeat never went out", file=sys.stderr)
        return 1
    print("holding GL0101:", login.call("TaskExec", "GL0101", 2))
    print("released GL0101:", login.call("TaskExec", "GL0101", 0))
    try:
        login.call("NoSuchMember")
    except RuntimeError as e:
        print(e)
    login.call("ShutDown")
    login.release()
    return 0 if granted else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
