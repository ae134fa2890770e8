"""Reads the weight three times from a scale through the ponderix package.

    python3 read_weight.py /dev/ttyUSB0          a serial scale, protocol detected
    python3 read_weight.py 10.0.0.5:4001 CAS-M   a scale on TCP, protocol given
"""

import sys

import ponderix


def main(end_point: str, protocol: str = "auto") -> int:
    host, _, port = end_point.partition(":")
    scale = ponderix.Scale.tcp(host, int(port), protocol) if port else ponderix.Scale.serial(end_point, protocol)
    with scale:
        for _ in range(3):
            reading = scale.read_weight()
            state = {True: "stable", False: "settling", None: "state unknown"}[reading.stable]
            print(f"{reading.text} {reading.unit} = {reading.weight_mg} mg, {state}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} END-POINT [PROTOCOL]")
    try:
        sys.exit(main(*sys.argv[1:3]))
    except ponderix.PonderixError as error:
        sys.exit(f"{error.name}: {error.message}")
