"""Runs every benchmark of this folder, each in its own process, on one database.

usage: python bench/run_all.py WORLD_DB [NAME ...]
"""
import glob
import os
import platform
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def machine_line():
    cpu = "unknown cpu"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return f"machine: {platform.machine()} {cpu}, {os.cpu_count()} processors, Python {platform.python_version()}"


def main():
    db = os.path.abspath(sys.argv[1])
    wanted = set(sys.argv[2:])
    print(machine_line(), flush=True)
    failed = False
    for path in sorted(glob.glob(os.path.join(HERE, "bench_*.py"))):
        name = os.path.basename(path)[len("bench_"):-3]
        if wanted and name not in wanted:
            continue
        print(f"\n== {name} ==", flush=True)
        code = f"import sys; sys.path.insert(0, {HERE!r}); import bench_{name} as b; b.main({db!r})"
        failed |= subprocess.run([sys.executable, "-c", code]).returncode != 0
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
