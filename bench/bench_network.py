"""init_network on the world-size sample: speed of reading and building, and memory."""
import ctypes
import gc
import os

import core_calc

ROW_TARGET = 2_000_000  # rows per second of building, pauses excluded
BYTES_TARGET = 150      # resident bytes per airway row


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def release_free_heap():
    gc.collect()
    try:
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def main(db_path):
    core_calc.DB_PATH = db_path
    release_free_heap()
    before = resident_bytes()
    network, stats = core_calc._profile_init_network()
    release_free_heap()
    added = resident_bytes() - before
    # The same load without the pauses times the building work alone: the two walking
    # threads would otherwise catch up on each other while the leader sleeps.
    builds = []
    for _ in range(3):
        _, quiet = core_calc._profile_init_network(pauses=False)
        builds.append(quiet["build_seconds"])
    rows = stats["rows"]
    build = sorted(builds)[1]
    total = stats["read_seconds"] + stats["build_seconds"]
    print(f"rows: {rows}, nodes: {stats['nodes']}, directed edges: {stats['edges']}")
    print(f"init_network: {total:.3f} s ({rows / total:,.0f} rows/s overall)")
    print(f"  SQLite reading: {stats['read_seconds']:.3f} s ({rows / stats['read_seconds']:,.0f} rows/s)")
    print(f"  building: {stats['build_seconds']:.3f} s with {stats['pause_seconds']:.3f} s of pauses; "
          f"without pauses {build:.3f} s (median of 3): {rows / build:,.0f} rows/s (target "
          f"{ROW_TARGET:,})")
    print(f"resident memory added: {added / 2**20:.1f} MiB = {added / rows:.0f} bytes per row "
          f"(target {BYTES_TARGET}); native estimate {stats['native_bytes_estimate'] / rows:.0f} B/row")
    print(f"targets: building {'met' if rows / build >= ROW_TARGET else 'MISSED'}, "
          f"memory {'met' if added / rows <= BYTES_TARGET else 'MISSED'}")
    del network
