"""init_network on the world-size sample: speed of reading and building, and memory.

Memory is measured in a fresh interpreter that does nothing but the load: the
resident memory the process holds after init_network returns (the caller hands
nothing back to the system first), and the highest resident memory during the load.
"""
import json
import subprocess
import sys

import core_calc

ROW_TARGET = 2_000_000  # rows per second of building, pauses excluded
BYTES_TARGET = 100      # resident bytes per airway row after the load
PEAK_TARGET = 1.5       # the load's peak over what stays after it

# Runs in the child. The peak is VmHWM after resetting it to the current resident
# size just before the load; where the reset is not available, the process's
# lifetime maximum serves, which before the load is far below the load's.
MEMORY_PROBE = r"""
import gc, json, resource, sys
import core_calc

def status():
    fields = {}
    with open("/proc/self/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if value.strip().endswith("kB"):
                fields[key] = int(value.split()[0]) * 1024
    return fields

core_calc.DB_PATH = sys.argv[1]
gc.collect()
before = status()
try:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    peak_source = "VmHWM"
except OSError:
    peak_source = "ru_maxrss"
network = core_calc.init_network()
after = status()
peak = after["VmHWM"] if peak_source == "VmHWM" else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(json.dumps({
    "added": after["VmRSS"] - before["VmRSS"],
    "anon": after["RssAnon"] - before["RssAnon"],
    "file": after["RssFile"] - before["RssFile"],
    "peak": peak - before["VmRSS"],
    "peak_source": peak_source,
}))
"""


def measure_memory(db_path):
    out = subprocess.run([sys.executable, "-c", MEMORY_PROBE, db_path], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def main(db_path):
    core_calc.DB_PATH = db_path
    network, stats = core_calc._profile_init_network()
    rows = stats["rows"]
    del network
    # The same load without the pauses times the work alone: the two walking threads
    # would otherwise catch up on each other while the reading thread sleeps.
    quiet = sorted((core_calc._profile_init_network(pauses=False)[1] for _ in range(3)),
                   key=lambda s: s["read_seconds"] + s["build_seconds"])[1]
    build = quiet["build_seconds"]
    total = quiet["read_seconds"] + quiet["build_seconds"]
    memory = measure_memory(db_path)
    added, peak = memory["added"], memory["peak"]
    ratio = peak / added
    print(f"rows: {rows}, nodes: {stats['nodes']}, directed edges: {stats['edges']}")
    print(f"init_network: {stats['read_seconds'] + stats['build_seconds']:.3f} s with "
          f"{stats['pause_seconds']:.3f} s of pauses; without pauses {total:.3f} s "
          f"({rows / total:,.0f} rows/s overall, median of 3)")
    print(f"  SQLite reading: {quiet['read_seconds']:.3f} s ({rows / quiet['read_seconds']:,.0f} rows/s)")
    print(f"  building (everything else, rows walked while they are read): {build:.3f} s, "
          f"{rows / build:,.0f} rows/s (target {ROW_TARGET:,}); packing after the walk "
          f"{quiet['pack_seconds']:.3f} s")
    print(f"resident memory added by init_network, without trimming: {added / 2**20:.1f} MiB = "
          f"{added / rows:.1f} bytes per row (target {BYTES_TARGET}); of it anonymous "
          f"{memory['anon'] / rows:.1f}, file-backed (code pages first used) {memory['file'] / rows:.1f}; "
          f"native estimate {stats['native_bytes_estimate'] / rows:.1f} B/row network + "
          f"{stats['meta_bytes_estimate'] / rows:.1f} AIRWAY_META")
    print(f"peak during the load ({memory['peak_source']}): {peak / 2**20:.1f} MiB = "
          f"{peak / rows:.1f} bytes per row, {ratio:.2f}x what stays (target {PEAK_TARGET}x)")
    print(f"targets: building {'met' if rows / build >= ROW_TARGET else 'MISSED'}, "
          f"memory {'met' if added / rows <= BYTES_TARGET else 'MISSED'}, "
          f"peak {'met' if ratio <= PEAK_TARGET else 'MISSED'}")
