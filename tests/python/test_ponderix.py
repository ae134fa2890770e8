"""The Python package against the simulated scale (scalesim) on TCP and a pseudo-terminal.

Run with PONDERIX_LIBRARY naming the built library and SCALESIM the simulator program."""

import ctypes
import os
import subprocess
import sys
import tempfile
import time
import zipfile
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
        arguments = [SCALESIM, "--protocol", protocol, "--control"]
        if line == "tcp":
            arguments += ["--tcp", "0"]
        for setting in settings:
            arguments += ["--set", setting]
        self.process = subprocess.Popen(arguments, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        first = self.process.stdout.readline().strip()
        self.end_point = first

    def do(self, command):
        """A control command ("place 1250 300", "overload=1"); returns once it is applied."""
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        assert self.process.stdout.readline().strip() == "ok", command

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


def test_a_line_leaves_the_shared_store_alone(simulator):
    scale_line = simulator("tcp", "POS2MProV1", "weight=1250")
    store = Path(os.environ["APPDATA"]) / "KORVALT" / "Trelvane" / "logic-devices-connection-config.json"
    lib = ponderix.load_library()
    handle = ctypes.c_int64(0)
    assert lib.pdx_create(ctypes.byref(handle)) == 0  # the store as any program finds it
    lib.pdx_destroy(handle)
    before = store.read_bytes()
    with scale_line.open() as scale:
        assert store.read_bytes() == before
        assert scale.read_weight().weight_mg == 1250000
        assert scale.protocol == "POS2MProV1"  # detected, and kept to this scale
    assert store.read_bytes() == before


def test_a_saved_profile_is_opened_by_name(simulator):
    scale_line = simulator("tcp", "CAS-M", "weight=0.75")
    # A profile saved by another program.
    lib = ponderix.load_library()
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


# Weighing for a sale: one table per family (POS has no overload bit; OKA no sign).
@pytest.mark.parametrize("line, protocol, weight, other, under_zero, overload", [
    ("tcp", "POS2M", "1250", "800", True, False),
    ("pty", "CAS-M", "1.250", "0.800", True, True),
    ("tcp", "OKA", "1.250", "0.800", False, True),
])
def test_sale_weight_and_its_refusals(simulator, line, protocol, weight, other, under_zero, overload):
    scale_line = simulator(line, protocol)
    with scale_line.open() as scale:
        with pytest.raises(ponderix.NothingOnScale):
            scale.read_sale_weight()
        scale_line.do(f"place {weight} 200")
        first = scale.read_sale_weight(timeout=2.0)
        assert (first.sequence, first.status, first.reading.stable) == (1, ponderix.Status.STABLE, True)
        assert abs(first.taken_at_ms / 1000 - time.time()) < 60
        with pytest.raises(ponderix.SameWeight) as same:
            scale.read_sale_weight()
        assert (same.value.code, same.value.name, same.value.last.sequence) == (105, "WeightSame", 0)

        scale_line.do("remove")
        assert scale.status() == ponderix.Status.ZERO
        scale_line.do(f"place {other}")
        assert scale.read_sale_weight().sequence == 2

        scale_line.do(f"place {weight} 5000")
        started = time.monotonic()
        with pytest.raises(ponderix.WeightUnstable) as unstable:
            scale.read_sale_weight(timeout=0.3)
        assert time.monotonic() - started < 0.3 + 1.5
        assert unstable.value.last.status == ponderix.Status.UNSTABLE
        assert scale.wait_status(ponderix.Status.UNSTABLE, timeout=0.3) == ponderix.Status.UNSTABLE
        scale_line.do(f"place {weight} 300")
        assert scale.wait_status(ponderix.Status.UNSTABLE, timeout=3) == ponderix.Status.STABLE

        scale.set_sale_limits(minimum_mg=10**9)
        scale_line.do(f"place {other}")
        with pytest.raises(ponderix.WeightBelowMinimum):
            scale.read_sale_weight()
        scale.set_sale_limits()
        with pytest.raises(ponderix.PonderixError, match="ParamValueUnsupported"):
            scale.set_sale_limits(minimum_mg=-1)
        if under_zero:
            scale_line.do(f"place -{weight}")
            with pytest.raises(ponderix.WeightUnderZero):
                scale.read_sale_weight()
        if overload:
            scale_line.do("overload=1")
            with pytest.raises(ponderix.WeightOverload):
                scale.read_sale_weight(timeout=0)
        statistics = scale.statistics()
        assert (statistics["sale_weights"], statistics["refused.same_weight"]) == (2, 1)


def test_health_capabilities_and_tare_in_milligrams(simulator):
    scale_line = simulator("tcp", "OKA", "weight=1.000")
    with scale_line.open("OKA") as scale:
        health = scale.check_health(1)
        assert (health["open"], health["protocol"]) == ("1", "OKA")
        assert scale.check_health(2)["status"] == str(int(ponderix.Status.STABLE))
        capabilities = scale.capabilities
        assert capabilities.reports_stable and capabilities.reports_overload and capabilities.reports_tare
        scale.specify_tare_mg(150000)
        assert scale.read_weight().tare_mg == 150000
        with pytest.raises(ponderix.PonderixError, match="ParamValueUnsupported"):
            scale.specify_tare_mg(-1)


def test_a_closed_scale_says_so(simulator):
    scale_line = simulator("tcp", "POS2M", "weight=10")
    with scale_line.open() as scale:
        scale.read_weight()
    calls = [scale.read_weight, scale.read_sale_weight, scale.status, scale.zero, scale.tare, scale.statistics,
             lambda: scale.protocol, lambda: scale.capabilities, lambda: scale.wait_status(0, 1)]
    for call in calls:
        with pytest.raises(ponderix.ScaleClosed, match="scale is closed"):
            call()
    scale.close()  # closing twice is fine


def test_pip_builds_offline_and_leaves_the_checkout_clean(tmp_path):
    root = Path(__file__).resolve().parents[2]
    subprocess.run([sys.executable, "-m", "pip", "wheel", "--no-deps", "--no-index", "-q", "-w", str(tmp_path),
                    str(root / "python")], check=True, env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"))
    wheel = next(tmp_path.glob("ponderix-*.whl"))
    with zipfile.ZipFile(wheel) as archive:
        assert "ponderix/__init__.py" in archive.namelist()
    status = subprocess.run(["git", "-C", str(root), "status", "--porcelain", "--untracked-files=all", "python"],
                            capture_output=True, text=True)
    if status.returncode == 0:  # a checkout, not an unpacked tree
        assert [line for line in status.stdout.splitlines() if line.startswith("??")] == []


def test_ports_are_listed_and_scales_discovered():
    assert all(port["access"] in ("free", "busy", "denied") for port in ponderix.list_ports())
    pos = Simulator("pty", "POS2MProV1")
    oka = Simulator("tcp", "OKA")
    try:
        rows = ponderix.discover([pos.end_point, "tcp:127.0.0.1:" + oka.end_point, "/dev/no-such-port"])
        assert [row["protocol"] for row in rows] == ["POS2MProV1", "OKA", None]
        assert {"POS2MProV1", "OKA"} < set(ponderix.protocol_names()) and ponderix.protocol_names()[-1] == "auto"
        assert rows[0]["serial_number"] and rows[0]["model"]
        assert rows[2]["result"] == "UnableToOpenSerialPort"
    finally:
        pos.stop()
        oka.stop()
