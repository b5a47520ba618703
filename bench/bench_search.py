"""a_star on the world-size sample: time per search, nodes expanded, and throughput
with one and two host threads, for random node pairs 300 to 3,000 km apart."""
import random
import statistics
import threading
import time

import core_calc

SEED = 20240601
PAIRS = 600
MIN_KM, MAX_KM, SHORT_KM = 300.0, 3000.0, 1500.0
SHORT_TARGET_MS = 1.0  # median for pairs up to SHORT_KM
THROUGHPUT_SECONDS = 2.0


def pick_pairs(nodes, count, rng):
    pairs = []
    while len(pairs) < count:
        a, b = rng.choice(nodes), rng.choice(nodes)
        km = core_calc.vectorized_haversine(a[1], a[2], b[1], b[2])
        if MIN_KM <= km <= MAX_KM:
            pairs.append((a, b, km))
    return pairs


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def time_searches(pairs):
    rows = []
    for a, b, km in pairs:
        start = time.perf_counter()
        (path, _, _), expanded = core_calc._a_star_stats(a, b)
        rows.append((km, (time.perf_counter() - start) * 1e3, expanded, bool(path)))
    return rows


def throughput(pairs, threads):
    done = [0] * threads
    stop = threading.Event()

    def worker(index):
        i = index
        while not stop.is_set():
            a, b, _ = pairs[i % len(pairs)]
            core_calc.a_star(a, b)
            done[index] += 1
            i += threads

    workers = [threading.Thread(target=worker, args=(i,)) for i in range(threads)]
    start = time.perf_counter()
    for w in workers:
        w.start()
    time.sleep(THROUGHPUT_SECONDS)
    stop.set()
    for w in workers:
        w.join()
    return sum(done) / (time.perf_counter() - start)


def describe(label, rows):
    ms = [r[1] for r in rows]
    expanded = [r[2] for r in rows]
    print(f"{label}: {len(rows)} pairs, median {statistics.median(ms):.3f} ms, "
          f"p99 {percentile(ms, 0.99):.3f} ms, expanded median {statistics.median(expanded):.0f} "
          f"p99 {percentile(expanded, 0.99):.0f}, routes found {sum(r[3] for r in rows)}")
    return statistics.median(ms)


def main(world_db_path: str) -> None:
    core_calc.DB_PATH = world_db_path
    net = core_calc.init_network()
    core_calc.GLOBAL_NETWORK = net
    nodes = [key for key in net.graph.keys() if len(net.graph[key]) > 0]
    print(f"network: {len(net.coord_map)} nodes, {len(nodes)} with outgoing edges")
    pairs = pick_pairs(nodes, PAIRS, random.Random(SEED))
    time_searches(pairs[:50])  # warm caches and allocator
    rows = time_searches(pairs)
    describe(f"all pairs {MIN_KM:.0f}-{MAX_KM:.0f} km", rows)
    short = describe(f"pairs up to {SHORT_KM:.0f} km", [r for r in rows if r[0] <= SHORT_KM])
    describe(f"pairs above {SHORT_KM:.0f} km", [r for r in rows if r[0] > SHORT_KM])
    print(f"target median under {SHORT_TARGET_MS} ms up to {SHORT_KM:.0f} km: "
          f"{'met' if short < SHORT_TARGET_MS else 'MISSED'}")
    one = throughput(pairs, 1)
    two = throughput(pairs, 2)
    print(f"throughput: {one:,.0f} searches/s with 1 thread, {two:,.0f} with 2 threads "
          f"({two / one:.2f}x)")


if __name__ == "__main__":
    import sys

    main(sys.argv[1])
