"""The package's build backend (PEP 517): a wheel of the pure-Python package `ponderix`, built
from the standard library alone. So `pip install ./python` needs no registry and no build tools,
and writes nothing into the source folder (everything goes to the folder pip gives)."""

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile
from pathlib import Path

_HERE = Path(__file__).resolve().parent
_PACKAGE = "ponderix"


def _project():
    text = (_HERE / "pyproject.toml").read_text(encoding="utf-8")
    fields = dict(re.findall(r'^(name|version|description|requires-python)\s*=\s*"([^"]*)"', text, re.M))
    return fields


def _metadata():
    project = _project()
    return ("Metadata-Version: 2.1\n"
            f"Name: {project['name']}\n"
            f"Version: {project['version']}\n"
            f"Summary: {project['description']}\n"
            f"Requires-Python: {project['requires-python']}\n")


def _dist_info():
    project = _project()
    return f"{project['name']}-{project['version']}.dist-info"


def _wheel_name():
    project = _project()
    return f"{project['name']}-{project['version']}-py3-none-any.whl"


def _sources():
    """The package's files: (name in the archive, path)."""
    for path in sorted((_HERE / _PACKAGE).rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts and path.suffix != ".pyc":
            yield path.relative_to(_HERE).as_posix(), path


def _write_wheel(wheel_directory, files):
    """files: (name, bytes); the dist-info, with its RECORD, is added here."""
    dist_info = _dist_info()
    files = list(files) + [
        (f"{dist_info}/METADATA", _metadata().encode()),
        (f"{dist_info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: _ponderix_build\nRoot-Is-Purelib: true\n"
                               b"Tag: py3-none-any\n"),
    ]
    record = []
    for name, data in files:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{name},sha256={digest},{len(data)}")
    record.append(f"{dist_info}/RECORD,,")
    files.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))
    name = _wheel_name()
    with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for entry, data in files:
            info = zipfile.ZipInfo(entry, date_time=(2020, 1, 1, 0, 0, 0))
            info.external_attr = 0o644 << 16
            wheel.writestr(info, data, zipfile.ZIP_DEFLATED)
    return name


def get_requires_for_build_wheel(config_settings=None):
    return []


get_requires_for_build_sdist = get_requires_for_build_wheel
get_requires_for_build_editable = get_requires_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, ((name, path.read_bytes()) for name, path in _sources()))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """A wheel whose .pth file puts this source folder on the path."""
    return _write_wheel(wheel_directory, [(f"{_PACKAGE}.pth", (str(_HERE) + "\n").encode())])


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{project['name']}-{project['version']}"
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        members = [("pyproject.toml", _HERE / "pyproject.toml"), ("_ponderix_build.py", _HERE / "_ponderix_build.py")]
        for entry, path in members + list(_sources()):
            sdist.add(path, arcname=f"{base}/{entry}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
