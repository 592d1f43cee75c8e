#!/usr/bin/env python3
"""tls_logins.py [N] [--plain] -- starts isoserver (fresh database, open registration, cheap hashes)
and logs N clients in at once over TLS (or the bare protocol): every connection opened together,
each sends its version, name and password as soon as it is up. Prints when the last one got its
"/plstart", and the spread, counted from the moment the first connection was asked for."""
import asyncio
import os
import re
import ssl
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "build", "out")


async def login(number, port, context, start, times, failures):
    try:
        reader, writer = await asyncio.wait_for(asyncio.open_connection("127.0.0.1", port, ssl=context), 60)
        writer.write(f"/ver 0.1 beta/e//id login{number}/e//pass pw/e/".encode())
        data = b""
        while b"/plstart " not in data:
            chunk = await asyncio.wait_for(reader.read(65536), 60)
            if not chunk:
                raise ConnectionError(f"closed after {data[:80]!r}")
            data += chunk
        times.append(time.monotonic() - start)
        writer.close()
    except Exception as error:   # counted and shown, the others go on
        failures.append(f"login{number}: {error!r}")


async def run(count, port, plain):
    context = None
    if not plain:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE   # the server's key is not what is measured
    times, failures = [], []
    start = time.monotonic()
    await asyncio.gather(*(login(i, port, context, start, times, failures) for i in range(count)))
    return sorted(times), failures


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 and sys.argv[1].isdigit() else 1000
    plain = "--plain" in sys.argv
    with tempfile.TemporaryDirectory() as temp:
        server = subprocess.Popen(
            [os.path.join(OUT, "isoserver"), "--port", "0", "--db", os.path.join(temp, "db"), "--register", "open",
             "--connects-per-minute", "0", "--max-checks", "100000", "--max-clients", "100000", "--log-per-second",
             "5", "--hash-ops", "1", "--hash-memory", "8", "--map", os.path.join(OUT, "data", "testmap.map")] +
            (["--plain"] if plain else []),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True)
        try:
            line = server.stdout.readline()
            port = int(re.search(r"127\.0\.0\.1:(\d+)", line).group(1))
            print(f"server: {line.strip()}")
            print(f"machine: {os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f} before the run")
            times, failures = asyncio.run(run(count, port, plain))
        finally:
            server.terminate()
            server.wait()
    kind = "bare protocol" if plain else "TLS"
    if times:
        print(f"{len(times)} of {count} logins over {kind} at once: the last in {times[-1]:.2f} s "
              f"(p50 {times[len(times) // 2]:.2f} s, p99 {times[int(len(times) * 0.99) - 1]:.2f} s)")
    for failure in failures[:5]:
        print("failed:", failure)
    sys.exit(0 if len(times) == count else 1)


if __name__ == "__main__":
    main()
