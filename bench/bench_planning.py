"""generate_flight_plan on the world-size sample between its busiest airports."""
import contextlib
import io
import os
import sqlite3
import statistics
import subprocess
import sys
import time

import core_calc

TARGET_MS_FOR_500 = 100.0  # a call that routes 500 combinations
CALLS = 5


def busiest_airports(db_path, count):
    conn = sqlite3.connect(db_path)
    rows = conn.execute(
        "SELECT s.airport_identifier, COUNT(DISTINCT s.procedure_identifier) * "
        "(SELECT COUNT(DISTINCT procedure_identifier) FROM tbl_stars t "
        " WHERE t.airport_identifier = s.airport_identifier) AS n "
        "FROM tbl_sids s GROUP BY s.airport_identifier ORDER BY n DESC LIMIT ?", (count,)).fetchall()
    conn.close()
    return [r[0] for r in rows]


def combinations_of(dep, arr):
    """Combinations the full search routes for this pair (runways in database order)."""
    sink = io.StringIO()
    with contextlib.redirect_stdout(sink):
        core_calc.generate_flight_plan(dep, arr)
    for line in sink.getvalue().splitlines():
        if "SID:" in line and "STAR:" in line:
            parts = line.replace("|", " ").split()
            sids = int(parts[parts.index("SID:") + 1])
            stars = int(parts[parts.index("STAR:") + 1])
            return sids * max(stars, 1)
    return 0


def time_pairs(pairs):
    results = []
    for dep, arr in pairs:
        combos = combinations_of(dep, arr)
        times = []
        for _ in range(CALLS):
            with contextlib.redirect_stdout(io.StringIO()):
                start = time.perf_counter()
                core_calc.generate_flight_plan(dep, arr)
                times.append(time.perf_counter() - start)
        results.append((dep, arr, combos, statistics.median(times)))
    return results


def child(db_path, pairs):
    core_calc.DB_PATH = db_path
    with contextlib.redirect_stdout(io.StringIO()):
        core_calc.GLOBAL_NETWORK = core_calc.init_network()
    for dep, arr, combos, median in time_pairs(pairs):
        print(f"{dep} {arr} {combos} {median}")


def run_with_processors(db_path, pairs, cpus):
    code = ("import sys, os; sys.path.insert(0, %r); os.sched_setaffinity(0, %r); "
            "import bench_planning as b; b.child(%r, %r)") % (
        os.path.dirname(os.path.abspath(__file__)), set(cpus), db_path, pairs)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    rows = []
    for line in out.stdout.split("\n"):
        parts = line.split()
        if len(parts) == 4:
            rows.append((parts[0], parts[1], int(parts[2]), float(parts[3])))
    return rows


def main(db_path):
    hubs = busiest_airports(db_path, 4)
    pairs = [(hubs[0], hubs[1]), (hubs[2], hubs[3]), (hubs[1], hubs[2])]
    available = sorted(os.sched_getaffinity(0))
    two = run_with_processors(db_path, pairs, available[:2])
    one = run_with_processors(db_path, pairs, available[:1])
    print(f"pool of {min(4 * (os.cpu_count() or 1), 32)} workers, {CALLS} calls per pair, no weather service")
    for (dep, arr, combos, t2), (_, _, _, t1) in zip(two, one):
        print(f"{dep}->{arr}: {combos} combinations, median {t2 * 1000:.1f} ms on 2 processors "
              f"({combos / t2:,.0f} combinations/s), {t1 * 1000:.1f} ms on 1 (speed-up {t1 / t2:.2f}x)")
    per_500 = statistics.median(t * 1000 / c * 500 for _, _, c, t in two if c)
    print(f"time for 500 combinations: {per_500:.1f} ms (target {TARGET_MS_FOR_500:.0f} ms): "
          f"{'met' if per_500 < TARGET_MS_FOR_500 else 'MISSED'}")
