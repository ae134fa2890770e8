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
import enum
import math
import os
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, Optional

__all__ = ["Scale", "Weight", "SaleWeight", "Status", "Capabilities", "PonderixError", "ScaleClosed",
           "SaleRefused", "WeightUnstable", "WeightUnderZero", "WeightOverload", "WeightBelowMinimum", "SameWeight",
           "NothingOnScale", "LibraryNotFound", "load_library"]

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
LD_NAME = 2
LANGUAGE_ENGLISH = 2
FLAG_UNKNOWN = -1
TIME_OUT = 7
NOT_OPEN = 107
# Connection types, and the protocol or model the library finds out itself when the line opens.
SERIAL_PORT = "Serial Port"
TCP = "TCP"
AUTO = "auto"
WEIGHT_UNSTABLE, WEIGHT_UNDER_ZERO, WEIGHT_OVERLOAD, WEIGHT_BELOW_MINIMUM, WEIGHT_SAME, WEIGHT_ZERO = range(101, 107)


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


class ScaleClosed(PonderixError):
    """The Scale was used after `close()` or after its `with` block."""

    def __init__(self):
        super().__init__(NOT_OPEN, "NotOpen", "scale is closed")


class SaleRefused(PonderixError):
    """No weight a sale may use. `last` is the reading the library decided on (a SaleWeight with
    sequence 0 and the reading's status)."""

    def __init__(self, code: int, name: str, message: str, last: "Optional[SaleWeight]" = None):
        super().__init__(code, name, message)
        self.last = last


class WeightUnstable(SaleRefused):
    """No settled weight within the time-out."""


class WeightUnderZero(SaleRefused):
    """The settled weight is below zero."""


class WeightOverload(SaleRefused):
    """The load is beyond the scale's range."""


class WeightBelowMinimum(SaleRefused):
    """The settled weight is below the scale's minimum."""


class SameWeight(SaleRefused):
    """The load of the last sale weight has not been taken off the platform."""


class NothingOnScale(SaleRefused):
    """The platform is empty."""


_REFUSALS = {WEIGHT_UNSTABLE: WeightUnstable, WEIGHT_UNDER_ZERO: WeightUnderZero, WEIGHT_OVERLOAD: WeightOverload,
             WEIGHT_BELOW_MINIMUM: WeightBelowMinimum, WEIGHT_SAME: SameWeight, WEIGHT_ZERO: NothingOnScale}


class Status(enum.IntEnum):
    """Status of a reading (the numbers of the point-of-sale device standards)."""

    STABLE = 11       # settled, above zero, at or above the minimum
    UNSTABLE = 12     # not settled
    ZERO = 13         # settled at zero
    OVERLOAD = 14     # beyond the scale's range
    NOT_READY = 15    # no answer
    UNDER_ZERO = 16   # settled below zero
    UNDERWEIGHT = 17  # settled, above zero, below the minimum


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


class _SaleWeight(ctypes.Structure):
    _fields_ = [
        ("reading", _Weight),
        ("sequence", ctypes.c_uint64),
        ("taken_at_ms", ctypes.c_int64),
        ("minimum_mg", ctypes.c_int64),
        ("maximum_mg", ctypes.c_int64),
        ("division_mg", ctypes.c_int64),
        ("status", ctypes.c_int),
    ]


_CAPABILITIES = ("can_zero", "can_tare", "can_specify_tare", "reports_stable", "reports_overload", "reports_net",
                 "reports_tare", "maximum_known", "division_known")


class _Capabilities(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in _CAPABILITIES]


# The C layout (ponderix.h); a difference would corrupt memory.
assert ctypes.sizeof(_Weight) == 72 and ctypes.sizeof(_SaleWeight) == 120 and ctypes.sizeof(_Capabilities) == 36


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


@dataclass(frozen=True)
class SaleWeight:
    """A weight a sale may use: `sequence` counts this handle's sale weights from 1 (0 in a
    refusal's `last`), `taken_at_ms` is the exchange's wall-clock time (Unix epoch, UTC), the
    limits are those the checks used (0 where unknown, that check skipped)."""

    reading: Weight
    sequence: int
    taken_at_ms: int
    minimum_mg: int
    maximum_mg: int
    division_mg: int
    status: Status


@dataclass(frozen=True)
class Capabilities:
    """What the opened protocol offers; the last two say what is known now."""

    can_zero: bool
    can_tare: bool
    can_specify_tare: bool
    reports_stable: bool
    reports_overload: bool
    reports_net: bool
    reports_tare: bool
    maximum_known: bool
    division_known: bool


def _flag(value: int) -> Optional[bool]:
    return None if value == FLAG_UNKNOWN else bool(value)


def _weight(raw: _Weight) -> Weight:
    return Weight(text=raw.text.decode("utf-8"), weight_mg=raw.weight_mg, unit=raw.unit.decode("utf-8"),
                  stable=_flag(raw.stable), overload=_flag(raw.overload), net=_flag(raw.net),
                  tare_mg=raw.tare_mg if raw.tare_known else None)


def _status(value: int):
    try:
        return Status(value)
    except ValueError:
        return value


def _sale_weight(raw: _SaleWeight) -> SaleWeight:
    return SaleWeight(reading=_weight(raw.reading), sequence=raw.sequence, taken_at_ms=raw.taken_at_ms,
                      minimum_mg=raw.minimum_mg, maximum_mg=raw.maximum_mg, division_mg=raw.division_mg,
                      status=_status(raw.status))


def _milliseconds(seconds: float) -> int:
    if seconds < 0:
        raise ValueError("a time-out is not negative")
    return min(int(math.ceil(seconds * 1000)), 2**31 - 1)


def _pairs(lines: str) -> Dict[str, str]:
    return dict(line.split("=", 1) for line in lines.splitlines() if "=" in line)


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
        "pdx_open_line": [h, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p],
        "pdx_close": [h],
        "pdx_is_open": [h, ctypes.POINTER(ctypes.c_int)],
        "pdx_set_param": [h, ctypes.c_int, ctypes.c_char_p],
        "pdx_get_param": [h, ctypes.c_int] + text_out,
        "pdx_execute_command": [h, ctypes.c_int],
        "pdx_get_protocol": [h] + text_out,
        "pdx_read_weight": [h, ctypes.POINTER(_Weight)],
        "pdx_get_error_description": [ctypes.c_int, ctypes.c_int] + text_out,
        "pdx_get_version": text_out,
        "pdx_protocol_names": text_out,
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
    # Weighing for a sale, status, health and statistics.
    for name, arguments in {
        "pdx_read_sale_weight": [h, ctypes.c_int, ctypes.POINTER(_SaleWeight)],
        "pdx_set_sale_limits": [h, ctypes.c_int64, ctypes.c_int64, ctypes.c_int64],
        "pdx_get_status": [h, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(_Weight)],
        "pdx_wait_status": [h, ctypes.c_int, ctypes.c_int, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(_Weight)],
        "pdx_specify_tare_mg": [h, ctypes.c_int64],
        "pdx_check_health": [h, ctypes.c_int] + text_out,
        "pdx_get_statistics": [h] + text_out,
        "pdx_get_capabilities": [h, ctypes.POINTER(_Capabilities)],
    }.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = ctypes.c_int
    # A static text of the library, never freed: c_char_p copies it into a bytes object.
    lib.pdx_result_name.argtypes = [ctypes.c_int]
    lib.pdx_result_name.restype = ctypes.c_char_p


_library: Optional[ctypes.CDLL] = None


def _lib() -> ctypes.CDLL:
    global _library
    if _library is None:
        _library = load_library()
    return _library


def _error(code: int, last: Optional[SaleWeight] = None) -> PonderixError:
    lib = _lib()
    raw = lib.pdx_result_name(code)
    name = raw.decode() if raw else str(code)
    message = ""
    buffer = ctypes.create_string_buffer(512)
    if lib.pdx_get_error_description(code, LANGUAGE_ENGLISH, buffer, len(buffer), None) == OK:
        message = buffer.value.decode("utf-8", "replace")
    if code in _REFUSALS:
        return _REFUSALS[code](code, name, message, last)
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


def protocol_names() -> list:
    """The protocol names a scale can be opened with, as the library lists them ("auto" last)."""
    return _text(_lib().pdx_protocol_names).splitlines()


class Scale:
    """One scale on one device handle. Use `Scale.serial`, `Scale.tcp` or `Scale.profile`,
    preferably in a `with` block, which closes and destroys the device."""

    def __init__(self, *, profile: Optional[str] = None, connection_type: Optional[str] = None,
                 end_point: Optional[str] = None, protocol: str = AUTO, baud: int = 9600, model: str = AUTO):
        self._lib = _lib()
        self._handle = ctypes.c_int64(0)
        _check(self._lib.pdx_create(ctypes.byref(self._handle)))
        try:
            if profile is not None:
                _check(self._lib.pdx_open(self._handle, self._find_profile(profile)))
            else:
                if connection_type is None or end_point is None:
                    raise ValueError("give a profile name, or a connection type and end point")
                # Opened from its settings: nothing is written to the store other programs share.
                _check(self._lib.pdx_open_line(self._handle, connection_type.encode("utf-8"),
                                               end_point.encode("utf-8"), protocol.encode("utf-8"), int(baud),
                                               model.encode("utf-8")))
        except BaseException:
            self.close()
            raise

    @classmethod
    def serial(cls, port: str, protocol: str = AUTO, baud: int = 9600, model: str = AUTO) -> "Scale":
        return cls(connection_type=SERIAL_PORT, end_point=port, protocol=protocol, baud=baud, model=model)

    @classmethod
    def tcp(cls, host: str, port: int = 77, protocol: str = AUTO, model: str = AUTO) -> "Scale":
        return cls(connection_type=TCP, end_point=f"{host}:{port}", protocol=protocol, model=model)

    @classmethod
    def profile(cls, name: str) -> "Scale":
        """A saved logic device, by its name."""
        return cls(profile=name)

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

    def _live(self) -> ctypes.c_int64:
        """The device handle; ScaleClosed once the scale was closed."""
        handle = self._handle
        if not handle.value:
            raise ScaleClosed()
        return handle

    def read_weight(self) -> Weight:
        """One fresh reading, for display; raises PonderixError when the scale did not give one.
        A weight to sell by comes from read_sale_weight."""
        raw = _Weight()
        _check(self._lib.pdx_read_weight(self._live(), ctypes.byref(raw)))
        return _weight(raw)

    def read_sale_weight(self, timeout: float = 2.0) -> SaleWeight:
        """A weight a sale may use: readings until one is settled or `timeout` [s] has passed (0:
        one exchange). A refusal raises a SaleRefused subclass (WeightUnstable, WeightUnderZero,
        WeightOverload, WeightBelowMinimum, SameWeight, NothingOnScale) whose `last` holds the
        reading decided on."""
        raw = _SaleWeight()
        code = self._lib.pdx_read_sale_weight(self._live(), _milliseconds(timeout), ctypes.byref(raw))
        sale = _sale_weight(raw)
        if code != OK:
            raise _error(code, sale)
        return sale

    def set_sale_limits(self, minimum_mg: int = 0, maximum_mg: int = 0, division_mg: int = 0) -> None:
        """Limits of the sale checks [mg]; 0: the scale's, where its protocol reports it."""
        _check(self._lib.pdx_set_sale_limits(self._live(), minimum_mg, maximum_mg, division_mg))

    def status(self) -> Status:
        """The status of one fresh reading."""
        status = ctypes.c_int(0)
        _check(self._lib.pdx_get_status(self._live(), ctypes.byref(status), None))
        return _status(status.value)

    def wait_status(self, last: int, timeout: float) -> Status:
        """Takes readings until the status differs from `last` (at once for 0) and returns it;
        when `timeout` [s] passes first, the current status (then equal to `last`)."""
        status = ctypes.c_int(0)
        code = self._lib.pdx_wait_status(self._live(), int(last), _milliseconds(timeout), ctypes.byref(status), None)
        if code != TIME_OUT:
            _check(code)
        return _status(status.value)

    def check_health(self, level: int = 1) -> Dict[str, str]:
        """Level 1: the library's own view without I/O (open, protocol, end_point, last_result,
        exchanges, failed_exchanges); level 2 adds one exchange (status, exchange_ms, ...), whose
        failure raises."""
        return _pairs(_text(self._lib.pdx_check_health, self._live(), level))

    def statistics(self) -> Dict[str, int]:
        """Counters since the scale was made: exchanges, failed_exchanges, failed.<Name>, timeouts,
        reconnects, sale_weights, refused.<reason>."""
        return {key: int(value) for key, value in _pairs(_text(self._lib.pdx_get_statistics, self._live())).items()}

    @property
    def capabilities(self) -> Capabilities:
        raw = _Capabilities()
        _check(self._lib.pdx_get_capabilities(self._live(), ctypes.byref(raw)))
        return Capabilities(*(bool(getattr(raw, name)) for name in _CAPABILITIES))

    def zero(self) -> None:
        _check(self._lib.pdx_execute_command(self._live(), CMD_SET_ZERO))

    def tare(self) -> None:
        """Takes the load on the platform as the tare."""
        _check(self._lib.pdx_execute_command(self._live(), CMD_SET_TARE))

    def specify_tare(self, grams: float) -> None:
        """A tare in grams, on every protocol."""
        self.specify_tare_mg(round(grams * 1000))

    def specify_tare_mg(self, tare_mg: int) -> None:
        """A tare in milligrams, on every protocol (the library converts it to the protocol's unit)."""
        _check(self._lib.pdx_specify_tare_mg(self._live(), tare_mg))

    @property
    def model(self) -> str:
        """The model the scale reported when it was opened (protocols with "Pro" in the name)."""
        return _text(self._lib.pdx_get_param, self._live(), PARAM_SCALES_MODEL)

    @property
    def serial_number(self) -> str:
        handle = self._live()
        _check(self._lib.pdx_execute_command(handle, CMD_GET_SERIAL_NUMBER))
        return _text(self._lib.pdx_get_param, handle, PARAM_SERIAL_NUMBER)

    @property
    def protocol(self) -> str:
        return _text(self._lib.pdx_get_protocol, self._live())

    def close(self) -> None:
        """Closes the line and destroys the device."""
        if not self._handle.value:
            return
        self._lib.pdx_close(self._handle)
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
    # The result is the protocol found, or the result code's name when nothing answered.
    protocols = set(protocol_names())
    for row in rows:
        row["ms"] = int(row["ms"] or 0)
        row["protocol"] = row["result"] if row["result"] in protocols else None
    return rows
