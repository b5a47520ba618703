"""The example API host over real HTTP on 127.0.0.1: 20 concurrent requests against
the same 20 one after the other, on the world-size sample, in one run.

Two settings: no weather service (planning alone, whose search already runs on a
pool of native threads), and a local weather service that answers after 100 ms,
as a remote one does; the host waits for it twice per request.
"""
import http.server
import json
import os
import random
import re
import sqlite3
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request
from concurrent.futures import ThreadPoolExecutor

import core_calc

HERE = os.path.dirname(os.path.abspath(__file__))
HOST_SCRIPT = os.path.join(HERE, "..", "examples", "api_host.py")
REQUESTS = 20
ROUNDS = {"no weather service": 7, "weather": 2}  # best of; the waits vary little
WEATHER_LATENCY = 0.1  # seconds per answer of the local weather service
TARGET_RATIO = 1.5  # "clearly faster": concurrent at least this much faster


def request_pairs(db_path, count, min_km=300, max_km=1500, seed=12):
    """`count` distinct pairs of airports with SIDs and STARs at a regional distance."""
    conn = sqlite3.connect(db_path)
    airports = conn.execute(
        "SELECT airport_identifier, airport_ref_latitude, airport_ref_longitude FROM airports "
        "WHERE airport_ref_latitude IS NOT NULL AND airport_identifier IN "
        "(SELECT airport_identifier FROM tbl_sids) AND airport_identifier IN "
        "(SELECT airport_identifier FROM tbl_stars) ORDER BY 1").fetchall()
    conn.close()
    rng = random.Random(seed)
    pairs = set()
    while len(pairs) < count:
        (dep, dlat, dlon), (arr, alat, alon) = rng.sample(airports, 2)
        if min_km <= core_calc.vectorized_haversine(dlat, dlon, alat, alon) <= max_km:
            pairs.add((dep, arr))
    return sorted(pairs)


class SlowWeather(http.server.ThreadingHTTPServer):
    """Answers every airport with a variable wind after WEATHER_LATENCY seconds."""

    daemon_threads = True
    request_queue_size = 128

    def __init__(self):
        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                icao = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)["icao"][0]
                time.sleep(WEATHER_LATENCY)
                data = json.dumps({icao: {"parsed": {"wind": {"direction": "VRB"}}}}).encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)


def start_host(db_path, *args):
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(core_calc.__file__))
    env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH")) if p)
    env["PYTHONUNBUFFERED"] = "1"
    process = subprocess.Popen([sys.executable, HOST_SCRIPT, "--db", db_path, "--port", "0", *args],
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True, encoding="utf-8", errors="replace")
    for line in process.stdout:
        match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\s*", line)
        if match:
            # the host's diagnostic lines are read and dropped so it never blocks on them
            threading.Thread(target=lambda: [None for _ in process.stdout], daemon=True).start()
            return process, f"http://127.0.0.1:{match.group(1)}"
    raise SystemExit("the example host ended before listening")


def ask(base, pair):
    url = f"{base}/plan?{urllib.parse.urlencode({'dep': pair[0], 'arr': pair[1]})}"
    try:
        with urllib.request.urlopen(url, timeout=120) as response:
            response.read()
            return response.status
    except urllib.error.HTTPError as error:
        return error.code


def sequential(base, pairs):
    start = time.perf_counter()
    statuses = [ask(base, pair) for pair in pairs]
    return time.perf_counter() - start, statuses


def concurrent(base, pairs):
    with ThreadPoolExecutor(len(pairs)) as pool:
        start = time.perf_counter()
        statuses = list(pool.map(lambda pair: ask(base, pair), pairs))
        return time.perf_counter() - start, statuses


def cpu_seconds(pid):
    """User and system time of a process so far (Linux), or None."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, ValueError, IndexError):
        return None


def measure(db_path, pairs, rounds, *host_args):
    """Best seconds of `rounds` sequential and concurrent passes, alternating, and the
    processors the host kept busy during the sequential passes."""
    process, base = start_host(db_path, *host_args)
    try:
        _, statuses = concurrent(base, pairs)  # warm-up: page cache, first requests
        times = {"sequential": [], "concurrent": []}
        busy = 0.0
        for _ in range(rounds):
            for name, run in (("sequential", sequential), ("concurrent", concurrent)):
                cpu = cpu_seconds(process.pid)
                seconds, got = run(base, pairs)
                if got != statuses:
                    raise SystemExit(f"{name} answers differ: {got} vs {statuses}")
                times[name].append(seconds)
                if name == "sequential" and cpu is not None:
                    busy += cpu_seconds(process.pid) - cpu
        seq, conc = min(times["sequential"]), min(times["concurrent"])
        return seq, conc, busy / sum(times["sequential"]), statuses
    finally:
        process.terminate()
        process.wait(timeout=30)


def main(db_path):
    pairs = request_pairs(db_path, REQUESTS)
    weather = SlowWeather()
    threading.Thread(target=weather.serve_forever, daemon=True).start()
    settings = [
        ("no weather service", ROUNDS["no weather service"], ()),
        (f"weather service answering in {WEATHER_LATENCY * 1000:.0f} ms", ROUNDS["weather"],
         ("--weather-url", f"http://127.0.0.1:{weather.server_address[1]}")),
    ]
    print(f"{REQUESTS} GET /plan requests, pairs 300-1500 km apart, best of rounds; "
          f"{os.cpu_count()} processors")
    try:
        for label, rounds, args in settings:
            seq, conc, busy, statuses = measure(db_path, pairs, rounds, *args)
            ratio = seq / conc
            print(f"{label}: sequential {seq:.2f} s ({seq / REQUESTS * 1000:.0f} ms/request, "
                  f"host busy on {busy:.1f} processors), concurrent {conc:.2f} s: "
                  f"{ratio:.2f}x faster ({statuses.count(200)}/{REQUESTS} routes found) "
                  f"[target {TARGET_RATIO:.1f}x: {'met' if ratio >= TARGET_RATIO else 'MISSED'}]")
    finally:
        weather.shutdown()
        weather.server_close()


if __name__ == "__main__":
    main(sys.argv[1])
