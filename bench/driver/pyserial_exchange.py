#!/usr/bin/python3
"""The benchmark's register read written with pyserial: python3 pyserial_exchange.py PATH COUNT.

Prints two numbers: wall seconds and processor seconds per exchange."""
import os
import sys
import time

import serial


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    request = b"#0V0R\r"
    port = serial.Serial(path, 9600, bytesize=serial.SEVENBITS, parity=serial.PARITY_ODD,
                         stopbits=serial.STOPBITS_ONE, timeout=1.0)
    for _ in range(10):  # warm-up
        port.reset_input_buffer()
        port.write(request)
        port.read(1)
        port.read_until(b"\r", 19)
    wall = time.perf_counter()
    cpu = time.process_time()
    for _ in range(count):
        port.reset_input_buffer()
        port.reset_output_buffer()
        port.write(request)
        port.flush()
        if port.read(1) != b"\x06":
            sys.exit("no ACK")
        reply = port.read_until(b"\r", 19)
        if not reply.startswith(b"#0V0R") or not reply.endswith(b"\r"):
            sys.exit("bad reply %r" % reply)
        float(reply[5:-1])
    wall = time.perf_counter() - wall
    cpu = time.process_time() - cpu
    port.close()
    print("%.9f %.9f" % (wall / count, cpu / count))


if __name__ == "__main__":
    main()
