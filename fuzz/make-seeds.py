#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/) from real frames and files."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)


def xor(data):
    check = 0
    for b in data:
        check ^= b
    return check


def pos_status(state=b"\x01\x00", weight=b"\xE8\x03\x00\x00", tare=b"\x64\x00"):
    frame = b"\x0A\x30\x30" + state + weight + tare
    return b"\x06\x02" + frame + bytes([xor(frame)])


def cas_frame(state=b"S", sign=b" ", weight=b"  1.25", unit=b"kg"):
    body = state + sign + weight + unit
    return b"\x01\x02" + body + bytes([xor(body)]) + b"\x03\x04"


def oka(tare, weight_lsb, flag, sum_lsb):
    weight = bytes(weight_lsb).ljust(11, b"\x00") + bytes([flag])
    return bytes([len(tare)]) + tare + weight.ljust(24, b"\x00") + bytes(sum_lsb).ljust(18, b"\x00")


def store(name=b"scale 1"):
    return (b'{\n    "devices": {\n        "1": {\n            "is-current": "true",\n'
            b'            "name": "' + name + b'",\n            "connection-type": "TCP",\n'
            b'            "end-point": "127.0.0.1:4001",\n            "baud-rate": "9600",\n'
            b'            "model": "auto",\n            "protocol": "POS2MProV1"\n        }\n    }\n}\n')


def read(path):
    with open(os.path.join(root, path), "rb") as f:
        return f.read()


seeds = {
    # selector (row of the keyword table), value, 0x00, reply
    "fuzz-native-codec": {
        "get-max": b"\x0a0\x00max=015\r\n",
        "set-serial": b"\x07ABC123\x00OK\r\n",
        "model": b"\x01\x00mode=510\r\nmax=015\r\ndiv=1\r\nprov=2\r\n",
        "error": b"\x03\x00ERROR\r\n",
    },
    "fuzz-pos-codec": {
        "status": b"-120\x00" + pos_status(),
        "negative": b"65535\x00" + pos_status(b"\x80\x40", b"\x00\x00\x00\x80", b"\x00\x00"),
        "zero-ack": b"0\x00\x00\x06\x02\x02\x30\x00\x32",
        "tare-given": b"100\x00\x06\x02\x32\x00",
    },
    "fuzz-cas-codec": {
        "stable": cas_frame(),
        "grams": cas_frame(b"U", b"-", b"   125", b" g"),
        "two": b"\x11" + cas_frame(b"F") + cas_frame(),
    },
    "fuzz-oka-codec": {
        "weight": oka(b"1234", [5, 2, 1], 0x00, [0, 5, 3, 2, 1]),
        "flagged": oka(b"999999", [9, 9], 0x40, [9, 9, 9]),
    },
    # command byte, value, 0x00, reply
    "fuzz-executors": {
        "pos-status": bytes([55]) + b"\x00" + pos_status(),
        "cas-status": bytes([56]) + b"\x00" + cas_frame(),
        "cas-active": bytes([57]) + b"\x00" + cas_frame() + cas_frame(),
        "pos-tare": bytes([60]) + b"-5\x00\x06\x02\x32\x00",
        "oka-tare": bytes([65]) + b"1234\x00\x06",
        "native-max": bytes([11]) + b"\x00max=015\r\n",
        "native-model": bytes([2]) + b"\x00mode=510\r\nmax=015\r\ndiv=1\r\nprov=2\r\n",
    },
    # store file, 0x00, a name
    "fuzz-store": {
        "one-device": store() + b"\x00front desk",
        "cyrillic": store("Весы".encode()) + b"\x00\xd0\x92\xd0\xb5\xd1\x81\xd1\x8b",
        "bom": b"\xEF\xBB\xBF" + store() + b"\x00x",
    },
    "fuzz-config-ini": {
        "defaults": b"file_name = driver.log\nmax_size = 104857600\nmax_files = 10\nseverity_level = trace\n",
        "windows": b"file_name = scale.log\r\nmax_size = 1000\r\nmax_files = 2\r\nseverity_level = info\r\n",
    },
    # one request's bytes
    "service-request-fuzz": {
        "weight": b"GET /v1/scales/till/weight?stable=true&timeout_ms=500 HTTP/1.1\r\nHost: 127.0.0.1:8731\r\n\r\n",
        "tare": b"POST /v1/scales/till/tare HTTP/1.1\r\nHost: localhost\r\nOrigin: http://till.example:8080\r\n"
                b"Content-Type: application/json\r\nContent-Length: 15\r\n\r\n{\"tare_g\": 120}",
        "preflight": b"OPTIONS /v1/scales/till/zero HTTP/1.1\r\nHost: [::1]:8731\r\nOrigin: http://till.example:8080\r\n"
                     b"Access-Control-Request-Method: POST\r\n\r\n",
        "stream": b"GET /v1/scales/till/stream?access_token=a%20b HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Upgrade\r\n"
                  b"Upgrade: websocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
        "chunked": b"POST /v1/scales/till/zero HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                   b"2\r\n{}\r\n0\r\n\r\n",
        "metrics": b"GET /metrics HTTP/1.0\r\n\r\n",
    },
    "fuzz-benchtap-script": {
        "demo": read("examples/demo.json"),
        "interactive": read("examples/interactive.json"),
    },
}

for target, files in seeds.items():
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, content in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)
print("seeds written to", os.path.join(here, "corpus"), file=sys.stderr)
