#!/usr/bin/env python3
"""A device that never stops talking: memory of qelt-update under a byte stream.

Opens a pseudo-terminal, starts qelt-update on it with the watchdog off, and
writes random bytes to it without pause (or at a given rate) for the given time,
reading what the updater sends so that its writes never block. Every few
seconds it samples the updater's resident set (VmRSS) and prints it; at the end
it prints the first, last and largest samples and the bytes streamed.

    benchmarks/device_stream.py BUILD/tools/qelt-update examples/package/script.ini \
        --seconds 600 [--rate BYTES_PER_S] [--every 10] [--high]

Linux only (pseudo-terminals and /proc). A timed harness, not a test: memory
that stays flat is its figure, reported in benchmarks/README.md.
"""

import argparse
import os
import random
import select
import subprocess
import sys
import time
import tty


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("runner")
    parser.add_argument("script")
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--rate", type=int, default=0, help="bytes per second, 0: no pause")
    parser.add_argument("--every", type=float, default=10)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--high", action="store_true",
                        help="only bytes 0x80 to 0xFF, which begin no reply of the device")
    args = parser.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)
    path = os.ttyname(slave)
    runner = subprocess.Popen(
        [args.runner, args.script, "--port", path, "--timeout", "0"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.set_blocking(master, False)
    rng = random.Random(args.seed)
    low = 0x80 if args.high else 0
    chunk = bytes(rng.randrange(low, 256) for _ in range(4096))
    start = time.monotonic()
    next_sample = start
    sent = 0
    samples = []
    try:
        while time.monotonic() - start < args.seconds and runner.poll() is None:
            now = time.monotonic()
            if now >= next_sample:
                rss = rss_kib(runner.pid)
                if rss is not None:
                    samples.append(rss)
                    print(f"{now - start:7.1f} s  {rss:8d} KiB  {sent / 1e6:10.1f} MB sent",
                          flush=True)
                next_sample += args.every
            readable, writable, _ = select.select([master], [master], [], 0.05)
            if readable:
                try:
                    os.read(master, 65536)
                except OSError:
                    pass
            if writable:
                budget = len(chunk)
                if args.rate:
                    budget = min(budget, max(0, int(args.rate * (now - start)) - sent))
                if budget:
                    offset = rng.randrange(len(chunk))
                    piece = (chunk[offset:] + chunk[:offset])[:budget]
                    try:
                        sent += os.write(master, piece)
                    except BlockingIOError:
                        pass
    finally:
        ended = runner.poll()
        if ended is None:
            runner.terminate()
            runner.wait(10)
    if ended is not None:
        print(f"qelt-update ended by itself (exit {ended}):", file=sys.stderr)
        print(runner.stderr.read().decode(errors="replace"), file=sys.stderr)
        return 1
    if samples:
        print(f"RSS first {samples[0]} KiB, last {samples[-1]} KiB, largest {max(samples)} KiB; "
              f"{sent / 1e6:.1f} MB streamed in {args.seconds:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
