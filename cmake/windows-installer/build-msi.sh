#!/usr/bin/env bash
# build-msi.sh x64|x86 BUILD_DIR OUTPUT.msi: the Windows installer from a MinGW-w64 build folder
# (driver.dll, Benchtap.exe and, for x64, scale-service.exe) with Debian's wixl. The headers,
# bindings/ (when the folder exists), the example scripts, the README and docs/ are listed from the
# source tree now, into files.wxs beside the output.
set -euo pipefail
arch=$1 build=$(cd "$2" && pwd) output=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
version=$(sed -n 's/^project(ponderix VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
fragment=$(dirname "$output")/files-$arch.wxs
win64=$([ "$arch" = x64 ] && echo yes || echo no)

# One component per file, in folders under INSTALLDIR as listed here.
python3 - "$root" "$win64" >"$fragment" <<'PY'
import os, sys
from xml.sax.saxutils import quoteattr
root, win64 = sys.argv[1], sys.argv[2]
tree = {}  # installed folder -> files
def add(folder, files):
    tree.setdefault(folder, []).extend(sorted(files))
add("include", [f"{root}/driver/api/{n}" for n in ("ponderix.h", "driver-types.hpp", "driver-api.hpp")])
add("examples", [f"{root}/examples/{n}" for n in os.listdir(f"{root}/examples") if n.endswith(".json")])
add("docs", [f"{root}/README.md"] + [f"{root}/docs/{n}" for n in os.listdir(f"{root}/docs") if n.endswith(".md")])
# The bindings as they stand in the source tree, when there are any (build output left out).
skip = {"bin", "obj", "__pycache__", "lib", "backup"}
if os.path.isdir(f"{root}/bindings"):
    for folder, dirs, files in os.walk(f"{root}/bindings"):
        dirs[:] = sorted(d for d in dirs if d not in skip and not d.startswith("."))
        kept = [f"{folder}/{n}" for n in files if not n.startswith(".") and not n.endswith((".o", ".ppu", ".exe", ".dll"))]
        if kept:
            add(os.path.relpath(folder, root), kept)
ids = []
def directory(path, depth):
    children = sorted({f.split("/")[depth] for f in tree if f.count("/") >= depth and f.startswith(path)
                       and (depth == 0 or f.split("/")[:depth] == path.split("/"))})
    out = []
    for child in children:
        sub = f"{path}/{child}" if path else child
        out.append(f'<Directory Id="d{len(ids)}_{len(out)}_{depth}" Name={quoteattr(child)}>')
        for source in tree.get(sub, []):
            n = len(ids)
            ids.append(f"c{n}")
            out.append(f'<Component Id="c{n}" Guid="*" Win64="{win64}"><File Id="f{n}" '
                       f'Name={quoteattr(os.path.basename(source))} Source={quoteattr(source.lstrip("/"))} KeyPath="yes"/></Component>')
        out.extend(directory(sub, depth + 1))
        out.append("</Directory>")
    return out
body = directory("", 0)
print('<?xml version="1.0" encoding="utf-8"?>')
print('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment><DirectoryRef Id="INSTALLDIR">')
print("\n".join(body))
print('</DirectoryRef><ComponentGroup Id="SourceFiles">')
print("\n".join(f'<ComponentRef Id="{i}"/>' for i in ids))
print("</ComponentGroup></Fragment></Wix>")
PY
(cd / && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D Build="${build#/}" -o "$output" "$here/ponderix.wxs" "$fragment")
