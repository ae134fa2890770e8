"""The Python package against the simulated scale (scalesim) on TCP and a pseudo-terminal.

Run with PONDERIX_LIBRARY naming the built library and SCALESIM the simulator program."""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import ponderix  # noqa: E402

SCALESIM = os.environ.get("SCALESIM", "build/scalesim")


@pytest.fixture(autouse=True)
def own_data_folder(monkeypatch):
    with tempfile.TemporaryDirectory() as folder:
        monkeypatch.setenv("APPDATA", folder)
        yield


class Simulator:
    def __init__(self, line, protocol, *settings):
        arguments = [SCALESIM, "--protocol", protocol]
        if line == "tcp":
            arguments += ["--tcp", "0"]
        for setting in settings:
            arguments += ["--set", setting]
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE, text=True)
        first = self.process.stdout.readline().strip()
        self.end_point = first

    def open(self, protocol="auto"):
        if self.end_point.isdigit():
            return ponderix.Scale.tcp("127.0.0.1", int(self.end_point), protocol=protocol)
        return ponderix.Scale.serial(self.end_point, protocol=protocol)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)


@pytest.fixture
def simulator():
    started = []

    def start(line, protocol, *settings):
        started.append(Simulator(line, protocol, *settings))
        return started[-1]

    yield start
    for one in started:
        one.stop()


@pytest.mark.parametrize("line", ["tcp", "pty"])
@pytest.mark.parametrize("protocol, settings, expected", [
    ("POS2MProV1", ("weight=1250", "tare=100"),
     ponderix.Weight("1250", 1250000, "g", True, None, True, 100000)),
    ("CAS-M", ("weight=1.25", "stable=0"), ponderix.Weight("1.250", 1250000, "kg", False, False, None, None)),
    ("OKA", ("weight=2500",), ponderix.Weight("2.500", 2500000, "kg", True, False, False, 0)),
])
def test_reads_the_weight(simulator, line, protocol, settings, expected):
    scale_line = simulator(line, protocol, *settings)
    with scale_line.open() as scale:
        assert scale.protocol == protocol
        assert scale.read_weight() == expected


def test_commands_and_properties(simulator):
    scale_line = simulator("tcp", "POS2MProV1", "weight=500")
    with scale_line.open("POS2MProV1") as scale:
        assert scale.model
        assert scale.serial_number
        scale.tare()
        assert scale.read_weight().weight_mg == 0
        scale.specify_tare(120)
        scale.zero()


def test_failures_raise_with_name_and_text(simulator):
    scale_line = simulator("tcp", "POS2MProV1")
    scale = scale_line.open()
    scale_line.stop()
    with pytest.raises(ponderix.PonderixError) as failure:
        scale.read_weight()
    assert failure.value.name == "ConnectionError"
    assert failure.value.message
    scale.close()
    with pytest.raises(ponderix.PonderixError) as refused:
        ponderix.Scale.tcp("127.0.0.1", 1, protocol="Foo")
    assert refused.value.name == "ParamValueUnsupported"


def test_a_saved_profile_is_opened_by_name(simulator):
    scale_line = simulator("tcp", "CAS-M", "weight=0.75")
    # A profile saved by another program: the package's own one is gone once it closes.
    lib = ponderix.load_library()
    import ctypes
    handle = ctypes.c_int64(0)
    assert lib.pdx_create(ctypes.byref(handle)) == 0
    identifier = ctypes.c_int(-1)
    assert lib.pdx_add_logic_device(handle, ctypes.byref(identifier)) == 0
    for kind, value in ((2, "counter scale"), (3, "TCP"), (4, f"127.0.0.1:{scale_line.end_point}"), (5, "9600"),
                        (6, "auto"), (7, "CAS-M")):
        assert lib.pdx_set_logic_device_param(handle, identifier.value, kind, value.encode()) == 0
    lib.pdx_destroy(handle)
    with ponderix.Scale.profile("counter scale") as scale:
        assert scale.read_weight().weight_mg == 750000
    with pytest.raises(ponderix.PonderixError):
        ponderix.Scale.profile("no such scale")


def test_a_missing_library_is_a_clear_error(monkeypatch):
    monkeypatch.setenv("PONDERIX_LIBRARY", "/nonexistent/libdriver.so.1")
    with pytest.raises(ponderix.LibraryNotFound, match="PONDERIX_LIBRARY"):
        ponderix.load_library()


def test_ports_are_listed_and_scales_discovered():
    assert all(port["access"] in ("free", "busy", "denied") for port in ponderix.list_ports())
    pos = Simulator("pty", "POS2MProV1")
    oka = Simulator("tcp", "OKA")
    try:
        rows = ponderix.discover([pos.end_point, "tcp:127.0.0.1:" + oka.end_point, "/dev/no-such-port"])
        assert [row["protocol"] for row in rows] == ["POS2MProV1", "OKA", None]
        assert rows[0]["serial_number"] and rows[0]["model"]
        assert rows[2]["result"] == "UnableToOpenSerialPort"
    finally:
        pos.stop()
        oka.stop()
