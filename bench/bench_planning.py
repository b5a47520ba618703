"""generate_flight_plan on the world-size sample between busy airports 300-1500 km apart."""
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


def busiest_pairs(db_path, count, min_km=300, max_km=1500):
    """Pairs of busy airports (most SIDs x STARs) at a regional distance."""
    conn = sqlite3.connect(db_path)
    hubs = conn.execute(
        "SELECT a.airport_identifier, a.airport_ref_latitude, a.airport_ref_longitude, "
        "(SELECT COUNT(DISTINCT procedure_identifier) FROM tbl_sids s "
        " WHERE s.airport_identifier = a.airport_identifier), "
        "(SELECT COUNT(DISTINCT procedure_identifier) FROM tbl_stars t "
        " WHERE t.airport_identifier = a.airport_identifier) "
        "FROM airports a WHERE a.airport_ref_latitude IS NOT NULL").fetchall()
    conn.close()
    hubs = sorted(hubs, key=lambda h: -(h[3] * h[4]))[:60]
    pairs = []
    for dep in hubs:
        for arr in hubs:
            if dep is arr:
                continue
            km = core_calc.vectorized_haversine(dep[1], dep[2], arr[1], arr[2])
            if min_km <= km <= max_km:
                pairs.append((dep[3] * arr[4], dep[0], arr[0]))
    pairs.sort(reverse=True)
    chosen, used = [], set()
    for _, dep, arr in pairs:
        if dep in used or arr in used:
            continue
        chosen.append((dep, arr))
        used.update((dep, arr))
        if len(chosen) == count:
            break
    return chosen


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
    pairs = busiest_pairs(db_path, 3)
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
