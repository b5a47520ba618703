"""import_navdata on world-size X-Plane-format files: about 215,000 fixes, 119,000 airway
lines, 35,000 airports (2.2 million apt.dat lines) and procedures of 2,000 airports,
generated once by tools/gen_xplane.py beside the world database (no real world data is
available offline)."""
import os
import shutil
import statistics
import sys
import tempfile
import time

import core_calc

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import gen_xplane  # noqa: E402

REPEATS = 3
SEED = 1


def source_folder(world_db_path):
    """The generated files, written again when the generator changed since."""
    folder = os.path.join(os.path.dirname(os.path.abspath(world_db_path)), "xplane-world")
    stamp = os.path.join(folder, ".generator")
    mark = f"{os.path.getmtime(gen_xplane.__file__)} seed {SEED}"
    if not os.path.exists(stamp) or open(stamp).read() != mark:
        shutil.rmtree(folder, ignore_errors=True)
        counts = gen_xplane.generate(folder, "world", SEED)
        with open(stamp, "w") as f:
            f.write(mark)
        print(f"generated {folder} in {counts['elapsed_s']} s")
    return folder


def input_summary(folder):
    total = 0
    parts = []
    for name in ("earth_fix.dat", "earth_nav.dat", "earth_awy.dat", "apt.dat"):
        path = os.path.join(folder, name)
        total += os.path.getsize(path)
        with open(path, "rb") as f:
            parts.append(f"{name} {sum(1 for _ in f):,} lines")
    cifp = os.path.join(folder, "CIFP")
    files = os.listdir(cifp)
    total += sum(os.path.getsize(os.path.join(cifp, n)) for n in files)
    parts.append(f"CIFP {len(files):,} files")
    return ", ".join(parts) + f"; {total / 2**20:.0f} MiB"


def one_import(folder, db):
    per_kind = {}

    def progress(report):
        per_kind[report["kind"]] = per_kind.get(report["kind"], 0.0) + report["seconds"]

    wall, cpu = time.perf_counter(), time.process_time()
    counts = core_calc.import_navdata(folder, db, progress=progress)
    return time.perf_counter() - wall, time.process_time() - cpu, counts, per_kind


def main(world_db_path: str) -> None:
    folder = source_folder(world_db_path)
    print("input:", input_summary(folder))
    out_dir = tempfile.mkdtemp(prefix="bench-import-", dir=os.path.dirname(folder))
    db = os.path.join(out_dir, "nav.db")
    try:
        runs = [one_import(folder, db) for _ in range(REPEATS)]
        walls = [r[0] for r in runs]
        cpus = [r[1] for r in runs]
        counts = runs[-1][2]
        rows = sum(counts.values())
        print("rows: " + ", ".join(f"{t} {n:,}" for t, n in counts.items()))
        best = min(range(REPEATS), key=lambda i: walls[i])
        reading = ", ".join(f"{k} {s:.2f} s" for k, s in runs[best][3].items())
        print(f"reading in the fastest run: {reading} (the rest: chaining airways, writing "
              f"rows, indexes, commit)")
        print(f"import_navdata, world size: median {statistics.median(walls):.2f} s, best "
              f"{min(walls):.2f} s wall ({REPEATS} runs); {statistics.median(cpus):.2f} s processor "
              f"time; {rows / min(walls) / 1e6:.2f} M rows/s; database "
              f"{os.path.getsize(db) / 2**20:.0f} MiB")
        core_calc.DB_PATH = db
        start = time.perf_counter()
        net = core_calc.init_network()
        print(f"init_network on the imported database: {time.perf_counter() - start:.2f} s, "
              f"{len(net.coord_map):,} waypoints")
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)
