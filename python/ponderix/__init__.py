"""Ponderix scale driver for Python: a thin ctypes layer over the driver library's C interface.

    from ponderix import Scale
    with Scale.tcp("127.0.0.1", 4001) as scale:
        reading = scale.read_weight()
        print(reading.weight_mg, reading.unit, reading.stable)

The library is looked up in this order: the file named by the environment variable
PONDERIX_LIBRARY, the installed library beside this package's prefix, then the system's search
(libdriver.so.1 / driver.dll).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

__all__ = ["Scale", "Weight", "PonderixError", "LibraryNotFound", "load_library"]

# Result codes and slots of the C interface (ponderix/ponderix.h).
OK = 0
BUFFER_TOO_SMALL = 100
PARAM_SCALES_MODEL = 1
PARAM_SERIAL_NUMBER = 5
PARAM_TARE = 24
CMD_GET_SERIAL_NUMBER = 9
CMD_SET_ZERO = 52
CMD_SET_TARE = 53
CMD_SPECIFY_TARE = 54
LD_NAME, LD_CONNECTION_TYPE, LD_END_POINT, LD_BAUD_RATE, LD_MODEL, LD_PROTOCOL = 2, 3, 4, 5, 6, 7
LANGUAGE_ENGLISH = 2
FLAG_UNKNOWN = -1


class LibraryNotFound(OSError):
    """The driver library could not be loaded from any place searched."""


class PonderixError(Exception):
    """A call of the driver failed: `code` is the result number, `name` its name
    ("ConnectionError"), the message its English description."""

    def __init__(self, code: int, name: str, message: str):
        super().__init__(f"{name} ({code}): {message}")
        self.code = code
        self.name = name
        self.message = message


class _Weight(ctypes.Structure):
    _fields_ = [
        ("text", ctypes.c_char * 32),
        ("weight_mg", ctypes.c_int64),
        ("unit", ctypes.c_char * 8),
        ("stable", ctypes.c_int),
        ("overload", ctypes.c_int),
        ("net", ctypes.c_int),
        ("tare_known", ctypes.c_int),
        ("tare_mg", ctypes.c_int64),
    ]


@dataclass(frozen=True)
class Weight:
    """One reading, all of it from one exchange with the scale. A flag the scale's protocol
    cannot report is None."""

    text: str
    weight_mg: int
    unit: str
    stable: Optional[bool]
    overload: Optional[bool]
    net: Optional[bool]
    tare_mg: Optional[int]


def _flag(value: int) -> Optional[bool]:
    return None if value == FLAG_UNKNOWN else bool(value)


def _candidates():
    named = os.environ.get("PONDERIX_LIBRARY")
    if named:
        yield named
        return
    windows = sys.platform.startswith("win")
    file_name = "driver.dll" if windows else "libdriver.so.1"
    # Installed: <prefix>/lib/python3/dist-packages/ponderix -> <prefix>/lib[/<multiarch>]/.
    here = Path(__file__).resolve().parent
    for prefix in (here.parents[3] if len(here.parents) > 3 else None, Path(sys.prefix)):
        if prefix is None:
            continue
        for folder in ("bin", "lib", "lib64") if windows else ("lib", "lib64"):
            yield str(prefix / folder / file_name)
            if not windows:
                for multiarch in (prefix / folder).glob("*-linux-gnu*"):
                    yield str(multiarch / file_name)
    found = ctypes.util.find_library("driver")
    yield found or file_name


def load_library() -> ctypes.CDLL:
    """The driver library, with the C interface's signatures declared."""
    tried = []
    for candidate in _candidates():
        if os.path.sep in candidate and not os.path.exists(candidate):
            tried.append(candidate)
            continue
        try:
            library = ctypes.CDLL(candidate)
        except OSError as error:
            tried.append(f"{candidate} ({error})")
            continue
        if not hasattr(library, "pdx_create"):
            tried.append(f"{candidate} (no C interface)")
            continue
        _declare(library)
        return library
    raise LibraryNotFound("the Ponderix driver library was not found; set PONDERIX_LIBRARY to its file. Tried: "
                          + "; ".join(tried))


def _declare(lib: ctypes.CDLL) -> None:
    h = ctypes.c_int64
    text_out = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)]
    signatures = {
        "pdx_create": [ctypes.POINTER(h)],
        "pdx_destroy": [h],
        "pdx_open": [h, ctypes.c_int],
        "pdx_close": [h],
        "pdx_is_open": [h, ctypes.POINTER(ctypes.c_int)],
        "pdx_set_param": [h, ctypes.c_int, ctypes.c_char_p],
        "pdx_get_param": [h, ctypes.c_int] + text_out,
        "pdx_execute_command": [h, ctypes.c_int],
        "pdx_get_protocol": [h] + text_out,
        "pdx_read_weight": [h, ctypes.POINTER(_Weight)],
        "pdx_get_error_description": [ctypes.c_int, ctypes.c_int] + text_out,
        "pdx_get_version": text_out,
        "pdx_add_logic_device": [h, ctypes.POINTER(ctypes.c_int)],
        "pdx_delete_logic_device": [h, ctypes.c_int],
        "pdx_set_logic_device_param": [h, ctypes.c_int, ctypes.c_int, ctypes.c_char_p],
        "pdx_get_logic_device_param": [h, ctypes.c_int, ctypes.c_int] + text_out,
        "pdx_get_logic_device_ids": [h, ctypes.POINTER(ctypes.c_int), ctypes.c_size_t,
                                     ctypes.POINTER(ctypes.c_size_t)],
    }
    for name, arguments in signatures.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = ctypes.c_int
    lib.pdx_result_name.argtypes = [ctypes.c_int]
    lib.pdx_result_name.restype = ctypes.c_char_p


_library: Optional[ctypes.CDLL] = None


def _lib() -> ctypes.CDLL:
    global _library
    if _library is None:
        _library = load_library()
    return _library


def _error(code: int) -> PonderixError:
    lib = _lib()
    raw = lib.pdx_result_name(code)
    name = raw.decode() if raw else str(code)
    message = ""
    buffer = ctypes.create_string_buffer(512)
    if lib.pdx_get_error_description(code, LANGUAGE_ENGLISH, buffer, len(buffer), None) == OK:
        message = buffer.value.decode("utf-8", "replace")
    return PonderixError(code, name, message)


def _check(code: int) -> None:
    if code != OK:
        raise _error(code)


def _text(call, *arguments) -> str:
    """A text output of the C interface, with the buffer grown when it was too small."""
    size = 128
    while True:
        buffer = ctypes.create_string_buffer(size)
        needed = ctypes.c_size_t(0)
        code = call(*arguments, buffer, size, ctypes.byref(needed))
        if code == BUFFER_TOO_SMALL and needed.value > size:
            size = needed.value
            continue
        _check(code)
        return buffer.value.decode("utf-8")


def version() -> str:
    return _text(_lib().pdx_get_version)


class Scale:
    """One scale on one device handle. Use `Scale.serial`, `Scale.tcp` or `Scale.profile`,
    preferably in a `with` block, which closes and destroys the device."""

    def __init__(self, *, profile: Optional[str] = None, connection_type: Optional[str] = None,
                 end_point: Optional[str] = None, protocol: str = "auto", baud: int = 9600, model: str = "auto",
                 name: str = "ponderix python"):
        self._lib = _lib()
        self._handle = ctypes.c_int64(0)
        self._own_profile: Optional[int] = None
        _check(self._lib.pdx_create(ctypes.byref(self._handle)))
        try:
            if profile is not None:
                identifier = self._find_profile(profile)
            else:
                if connection_type is None or end_point is None:
                    raise ValueError("give a profile name, or a connection type and end point")
                identifier = self._add_profile(name, connection_type, end_point, baud, model, protocol)
            _check(self._lib.pdx_open(self._handle, identifier))
        except BaseException:
            self.close()
            raise

    @classmethod
    def serial(cls, port: str, protocol: str = "auto", baud: int = 9600, model: str = "auto") -> "Scale":
        return cls(connection_type="Serial Port", end_point=port, protocol=protocol, baud=baud, model=model)

    @classmethod
    def tcp(cls, host: str, port: int = 77, protocol: str = "auto", model: str = "auto") -> "Scale":
        return cls(connection_type="TCP", end_point=f"{host}:{port}", protocol=protocol, model=model)

    @classmethod
    def profile(cls, name: str) -> "Scale":
        """A saved logic device, by its name."""
        return cls(profile=name)

    def _add_profile(self, name, connection_type, end_point, baud, model, protocol) -> int:
        identifier = ctypes.c_int(-1)
        _check(self._lib.pdx_add_logic_device(self._handle, ctypes.byref(identifier)))
        self._own_profile = identifier.value
        for kind, value in ((LD_NAME, name), (LD_CONNECTION_TYPE, connection_type), (LD_END_POINT, end_point),
                            (LD_BAUD_RATE, str(baud)), (LD_MODEL, model), (LD_PROTOCOL, protocol)):
            _check(self._lib.pdx_set_logic_device_param(self._handle, identifier.value, kind, value.encode("utf-8")))
        return identifier.value

    def _find_profile(self, name: str) -> int:
        count = ctypes.c_size_t(0)
        code = self._lib.pdx_get_logic_device_ids(self._handle, None, 0, ctypes.byref(count))
        if code not in (OK, BUFFER_TOO_SMALL):
            _check(code)
        ids = (ctypes.c_int * max(count.value, 1))()
        _check(self._lib.pdx_get_logic_device_ids(self._handle, ids, len(ids), ctypes.byref(count)))
        for identifier in ids[: count.value]:
            if _text(self._lib.pdx_get_logic_device_param, self._handle, identifier, LD_NAME) == name:
                return identifier
        raise PonderixError(37, "LogicDeviceNotFound", f"no saved logic device is named {name!r}")

    def read_weight(self) -> Weight:
        """One fresh reading; raises PonderixError when the scale did not give one."""
        raw = _Weight()
        _check(self._lib.pdx_read_weight(self._handle, ctypes.byref(raw)))
        return Weight(text=raw.text.decode("utf-8"), weight_mg=raw.weight_mg, unit=raw.unit.decode("utf-8"),
                      stable=_flag(raw.stable), overload=_flag(raw.overload), net=_flag(raw.net),
                      tare_mg=raw.tare_mg if raw.tare_known else None)

    def zero(self) -> None:
        _check(self._lib.pdx_execute_command(self._handle, CMD_SET_ZERO))

    def tare(self) -> None:
        """Takes the load on the platform as the tare."""
        _check(self._lib.pdx_execute_command(self._handle, CMD_SET_TARE))

    def specify_tare(self, grams: int) -> None:
        _check(self._lib.pdx_set_param(self._handle, PARAM_TARE, str(int(grams)).encode()))
        _check(self._lib.pdx_execute_command(self._handle, CMD_SPECIFY_TARE))

    @property
    def model(self) -> str:
        """The model the scale reported when it was opened (protocols with "Pro" in the name)."""
        return _text(self._lib.pdx_get_param, self._handle, PARAM_SCALES_MODEL)

    @property
    def serial_number(self) -> str:
        _check(self._lib.pdx_execute_command(self._handle, CMD_GET_SERIAL_NUMBER))
        return _text(self._lib.pdx_get_param, self._handle, PARAM_SERIAL_NUMBER)

    @property
    def protocol(self) -> str:
        return _text(self._lib.pdx_get_protocol, self._handle)

    def close(self) -> None:
        """Closes the line, forgets a profile made for this scale, destroys the device."""
        if not self._handle.value:
            return
        self._lib.pdx_close(self._handle)
        if self._own_profile is not None:
            self._lib.pdx_delete_logic_device(self._handle, self._own_profile)
            self._own_profile = None
        self._lib.pdx_destroy(self._handle)
        self._handle = ctypes.c_int64(0)

    def __enter__(self) -> "Scale":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass


# ---- finding the scale ----------------------------------------------------------------------

_PORT_COLUMNS = ("name", "stable_name", "bus", "vendor_id", "product_id", "serial_number", "manufacturer",
                 "product", "access")
_DISCOVERY_COLUMNS = ("end_point", "result", "model", "serial_number", "ms", "note")


def _table(columns, text):
    rows = []
    for line in text.splitlines():
        if line:
            fields = line.split("\t") + [""] * len(columns)
            rows.append(dict(zip(columns, fields)))
    return rows


def list_ports() -> list:
    """The machine's serial ports: name, stable_name, bus, vendor_id, product_id, serial_number,
    manufacturer, product and access ("free", "busy", "denied"), as pdx_list_ports gives them."""
    lib = _lib()
    lib.pdx_list_ports.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)]
    lib.pdx_list_ports.restype = ctypes.c_int
    return _table(_PORT_COLUMNS, _text(lib.pdx_list_ports))


def discover(ports: Optional[list] = None, timeout_ms: int = 0) -> list:
    """Protocol detection on several ports at once (pdx_discover). `ports`: names, glob patterns
    ("/dev/ttyUSB*") or TCP end points ("tcp:HOST:PORT"); None: every listed port. One dict per
    port: end_point, protocol (None when nothing answered), result (the protocol or the result
    code's name), model, serial_number, ms (int) and note ("busy: ...", "denied: ...")."""
    lib = _lib()
    lib.pdx_discover.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t,
                                 ctypes.POINTER(ctypes.c_size_t)]
    lib.pdx_discover.restype = ctypes.c_int
    request = None if ports is None else "".join(p + "\n" for p in ports).encode("utf-8")
    # The probe is not repeated for a bigger buffer: 1 KiB per port is ample.
    size = 1024 * (len(ports) if ports is not None else 64) + 1024
    buffer = ctypes.create_string_buffer(size)
    needed = ctypes.c_size_t(0)
    _check(lib.pdx_discover(request, int(timeout_ms), buffer, size, ctypes.byref(needed)))
    rows = _table(_DISCOVERY_COLUMNS, buffer.value.decode("utf-8"))
    # A result that is no result code's name is the protocol found.
    codes = {lib.pdx_result_name(code) for code in range(256)} - {None}
    for row in rows:
        row["ms"] = int(row["ms"] or 0)
        row["protocol"] = None if row["result"].encode() in codes else row["result"]
    return rows
