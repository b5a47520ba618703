"""The flight-plan service on its pre-fork server (gunicorn, uvicorn workers), over
HTTP on 127.0.0.1, in one run:

- requests/s, p50 and p99 of the demo route (the demo sample) with 200 concurrent
  kept-alive connections, at 1 and at 2 workers;
- memory per worker on the world sample after planning regional pairs: shared against
  private pages (/proc/PID/smaps_rollup), and how much of the master's memory each
  worker still maps to the same physical pages (/proc/PID/pagemap); the network's size
  is the master's against the same service on the tiny sample. Counting every page a
  worker copied as a page of the network bounds the network's shared part from below;
- 50 clients sending their request byte by byte and 2,000 idle connections, while a
  normal request is timed; the workers' threads and memory meanwhile.
The load client runs on the same processors as the service.
"""
import os
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import gen_navdb  # noqa: E402
import service_load  # noqa: E402
from bench_example_host import request_pairs  # noqa: E402
from service_host import Service, plan_url  # noqa: E402

CONNECTIONS = 200
SECONDS = 15
MEMORY_PAIRS = 40
MEMORY_SECONDS = 6


def sample(size, folder):
    path = os.path.join(folder, f"{size}.db")
    pair = tuple(gen_navdb.generate(path, size)["demo_pair"])
    return path, pair


def throughput(db, pair):
    for workers in (1, 2):
        with Service("--db", db, workers=workers) as service:
            service_load.load(plan_url(service.url, dep=pair[0], arr=pair[1]), 8, 1)  # warm
            pids = service.worker_pids()
            cpu = sum(service_load.cpu_seconds(pid) for pid in pids)
            f = service_load.load(plan_url(service.url, dep=pair[0], arr=pair[1]),
                                  connections=CONNECTIONS, seconds=SECONDS)
            cpu = sum(service_load.cpu_seconds(pid) for pid in pids) - cpu
        print(f"{workers} worker{'s' if workers > 1 else ''}, {CONNECTIONS} connections, "
              f"{f['seconds']:.0f} s: {f['per_second']:.0f} requests/s, p50 {f['p50_ms']:.0f} ms, "
              f"p99 {f['p99_ms']:.0f} ms, {f['requests']} answered, {f['errors']} errors, "
              f"statuses {f['statuses']}; the workers used {cpu / f['seconds']:.2f} processors, "
              f"{1000 * cpu / f['requests']:.1f} ms of processor time a request", flush=True)


def memory_after_load(db, pairs):
    """Figures of the master and of each worker after planning every pair, each on a
    connection of its own so that both workers plan, then a burst."""
    with Service("--db", db, workers=2) as service:
        urls = [plan_url(service.url, dep=a, arr=b) for a, b in pairs]
        for url in urls * 2:
            service_load.load(url, connections=2, seconds=60, max_requests=2, keep_alive=False)
        service_load.load(urls[0], connections=16, seconds=MEMORY_SECONDS, keep_alive=False)
        master = service_load.process_figures(service.process.pid)
        workers = []
        for pid in service.worker_pids():
            figures = service_load.process_figures(pid)
            figures["from_master"] = service_load.pages_kept_shared(service.process.pid, pid)
            workers.append(figures)
    return master, workers


def memory(world_db, tiny_db, tiny_pair):
    pairs = request_pairs(world_db, MEMORY_PAIRS)
    master, workers = memory_after_load(world_db, pairs)
    tiny_master, tiny_workers = memory_after_load(tiny_db, [tiny_pair] * len(pairs))
    network = master["rss"] - tiny_master["rss"]
    mib = lambda kib: f"{kib / 1024:.1f} MiB"  # noqa: E731
    print(f"world sample, {len(pairs)} pairs planned: master rss {mib(master['rss'])}, of "
          f"which the network {mib(network)} (against the same service on the tiny sample)")
    for i, (w, t) in enumerate(zip(workers, tiny_workers)):
        resident, shared, copied = w["from_master"]
        beyond_tiny = copied - t["from_master"][2]
        print(f"worker {i + 1}: rss {mib(w['rss'])} = shared {mib(w['shared'])} + private "
              f"{mib(w['private'])} (pss {mib(w['pss'])}, {w['threads']} threads); of the "
              f"master's {mib(resident)} it still shares {mib(shared)} "
              f"({100 * shared / resident:.0f}%) and holds copies of {mib(copied)} (on the "
              f"tiny sample {mib(t['from_master'][2])}). Counting every copy as the network's: "
              f"{100 * max(0.0, 1 - copied / network):.0f}% of the network's pages shared; "
              f"counting the copies beyond the tiny sample's: "
              f"{100 * min(1.0, max(0.0, 1 - beyond_tiny / network)):.0f}%", flush=True)


def slow_and_idle(db, pair):
    service_load.raise_file_limit()
    with Service("--db", db, workers=2) as service:
        url = plan_url(service.url, dep=pair[0], arr=pair[1])
        workers = service.worker_pids()
        service_load.load(url, connections=8, seconds=1)
        before = {pid: service_load.process_figures(pid) for pid in workers}
        address = urllib.parse.urlsplit(service.url)
        r = service_load.slow_and_idle(
            address.hostname, address.port, url, slow=50, idle=2000,
            during=lambda: {pid: service_load.process_figures(pid) for pid in workers})
    print(f"50 slow clients (a byte per 50 ms) and 2000 idle connections: "
          f"{r['slow_answered']} slow clients answered 200, {r['idle_open_at_end']} idle "
          f"connections still open, demo route meanwhile in {r['probe_ms']} ms")
    for pid in workers:
        b, d = before[pid], r["during"][pid]
        print(f"  worker {pid}: threads {b['threads']} -> {d['threads']}, rss "
              f"{b['rss'] / 1024:.1f} -> {d['rss'] / 1024:.1f} MiB", flush=True)


def main(world_db):
    with tempfile.TemporaryDirectory() as folder:
        demo = sample("demo", folder)
        tiny = sample("tiny", folder)
        throughput(*demo)
        memory(world_db, *tiny)
        slow_and_idle(*demo)


if __name__ == "__main__":
    main(sys.argv[1])
