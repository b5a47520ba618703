"""Database connections kept open between reading calls: a connection serves only
the file it was opened on, readers wait out a writer's lock, many threads read at
once, and a child forked while other threads plan reads on its own."""
import os
import shutil
import signal
import sqlite3
import sys
import threading
import time

import pytest

import core_calc
from navdb import NavDb

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402

APT = "ZSSS"
UNABLE = "unable to open database file"


def airport_db(path, lat):
    """A database whose only airport lies at `lat`; every such file is written by
    the same statements, so two of them differ in their data only."""
    db = NavDb(path)
    db.insert("airports", (APT, lat, 121.0))
    db.runways(APT, ("RW09", 90.0))
    db.insert("tbl_sids", (APT, "SID1", "RW09", 10, "A", lat, 121.0),
              (APT, "SID1", "RW09", 20, "B", lat, 121.5))
    db.insert("tbl_iaps", (APT, "I09", "", 10, "F", lat, 120.5))
    db.close()
    return path


@pytest.fixture(scope="module")
def sample(tmp_path_factory):
    path = tmp_path_factory.mktemp("sample") / "tiny.db"
    return path, gen_navdb.generate(str(path), "tiny")["demo_pair"]


def deleted_handles(path):
    """Open descriptors of this process on a file that was removed or replaced."""
    handles = []
    for fd in os.listdir("/proc/self/fd"):
        try:
            if os.readlink(f"/proc/self/fd/{fd}") == f"{path} (deleted)":
                handles.append(fd)
        except FileNotFoundError:  # the listing's own descriptor, closed by now
            pass
    return handles


# --------------------------------------------------------------------------
# A connection serves only its own file
# --------------------------------------------------------------------------


def replace_file(tmp_path, monkeypatch):
    airport_db(tmp_path / "other.db", 2.0)
    os.replace(tmp_path / "other.db", tmp_path / "nav.db")


def rewrite_in_place(tmp_path, monkeypatch):
    # Same inode, and SQLite's own change counter is the same in both files: only
    # the size and modification time tell them apart.
    airport_db(tmp_path / "other.db", 2.0)
    time.sleep(0.02)  # past the file system's clock tick
    shutil.copyfile(tmp_path / "other.db", tmp_path / "nav.db")


def rebind_db_path(tmp_path, monkeypatch):
    core_calc.DB_PATH = str(airport_db(tmp_path / "other.db", 2.0))


def change_directory(tmp_path, monkeypatch):
    (tmp_path / "elsewhere").mkdir()
    airport_db(tmp_path / "elsewhere" / "nav.db", 2.0)
    monkeypatch.chdir(tmp_path / "elsewhere")


@pytest.mark.parametrize("change", [replace_file, rewrite_in_place, rebind_db_path,
                                    change_directory])
def test_a_pooled_connection_serves_only_its_own_file(tmp_path, monkeypatch, change):
    airport_db(tmp_path / "nav.db", 1.0)
    monkeypatch.chdir(tmp_path)
    core_calc.DB_PATH = "nav.db"
    assert core_calc.get_airport_ref_coord(APT) == (1.0, 121.0)
    assert core_calc.build_procedures_from_db(APT, "tbl_sids")["SID1"].points[0][1] == 1.0
    change(tmp_path, monkeypatch)
    assert core_calc.get_airport_ref_coord(APT) == (2.0, 121.0)
    assert core_calc.build_procedures_from_db(APT, "tbl_sids")["SID1"].points[0][1] == 2.0
    # The connections of a replaced file are closed, not left holding it.
    assert deleted_handles(tmp_path / "nav.db") == []


READERS = [
    (lambda: core_calc.build_procedures_from_db(APT, "tbl_sids"), {},
     f"Error loading tbl_sids for {APT}: {UNABLE}\n"),
    (lambda: core_calc.build_iaps_from_db(APT, "RW09"), [],
     f"Error loading IAPs for {APT}: {UNABLE}\n"),
    (lambda: core_calc.get_airport_ref_coord(APT), None,
     f"Error reading airport coord for {APT}: {UNABLE}\n"),
    (lambda: core_calc.get_best_runway_and_wind(APT), ([], "N/A"), ""),
]


@pytest.mark.parametrize("call, empty, line", READERS)
def test_a_file_deleted_between_calls_fails_inside_the_guard(tmp_path, capsys, call, empty,
                                                             line):
    core_calc.DB_PATH = str(airport_db(tmp_path / "nav.db", 1.0))
    assert call()
    os.remove(tmp_path / "nav.db")
    capsys.readouterr()
    assert call() == empty
    assert capsys.readouterr().out == line
    assert not (tmp_path / "nav.db").exists()


PATH_CALLS = [reader for reader, _, _ in READERS] + [
    core_calc.init_network,
    lambda: core_calc.generate_flight_plan(APT, APT),
]


@pytest.mark.parametrize("call", PATH_CALLS)
def test_nul_in_db_path_raises_value_error(tmp_path, monkeypatch, capsys, call):
    monkeypatch.chdir(tmp_path)
    core_calc.GLOBAL_NETWORK = core_calc.RouteNetwork()
    core_calc.DB_PATH = "nav.db\0.tail"
    with pytest.raises(ValueError, match="embedded null byte"):
        call()
    assert os.listdir(tmp_path) == []


# --------------------------------------------------------------------------
# Readers wait for writers and share connections across threads
# --------------------------------------------------------------------------


def hold_write_lock(path, seconds):
    """Holds an exclusive lock on the file from another connection; returns once
    the lock is taken, with the thread that releases it after `seconds`."""
    locked = threading.Event()

    def writer():
        conn = sqlite3.connect(path, isolation_level=None)
        conn.execute("BEGIN EXCLUSIVE")
        locked.set()
        time.sleep(seconds)
        conn.execute("COMMIT")
        conn.close()

    thread = threading.Thread(target=writer)
    thread.start()
    locked.wait()
    return thread


@pytest.mark.parametrize("call", [
    lambda dep, arr: core_calc.build_procedures_from_db(dep, "tbl_sids"),
    lambda dep, arr: len(core_calc.init_network().coord_map),
    lambda dep, arr: core_calc.generate_flight_plan(dep, arr),
], ids=["reader", "init_network", "plan"])
def test_a_reader_waits_out_a_300_ms_write_lock(sample, capsys, call):
    path, (dep, arr) = sample
    core_calc.DB_PATH = str(path)
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    expected = call(dep, arr)
    assert expected
    writer = hold_write_lock(path, 0.3)
    start = time.perf_counter()
    result = call(dep, arr)
    waited = time.perf_counter() - start
    writer.join()
    assert result == expected
    assert waited >= 0.2


@pytest.mark.concurrency
def test_eight_threads_reading_at_once_get_the_results_of_one(sample):
    path, _ = sample
    core_calc.DB_PATH = str(path)
    airports = [a for (a,) in sqlite3.connect(path).execute("SELECT airport_identifier "
                                                            "FROM airports")]
    calls = []
    for apt in airports:
        calls += [lambda a=apt: core_calc.build_procedures_from_db(a, "tbl_sids"),
                  lambda a=apt: core_calc.build_procedures_from_db(a, "tbl_stars", "RW09"),
                  lambda a=apt: core_calc.get_airport_ref_coord(a),
                  lambda a=apt: core_calc.get_best_runway_and_wind(a)]
        calls += [lambda a=apt, r=rwy: core_calc.build_iaps_from_db(a, r)
                  for rwy in core_calc.get_best_runway_and_wind(apt)[0]]
    expected = [call() for call in calls]
    assert all(expected[:2])
    start = threading.Barrier(8)
    results = [None] * 8

    def read(k):
        start.wait()
        order = list(range(k, len(calls))) + list(range(k))  # each thread its own order
        seen = {}
        for _ in range(10):
            for i in order:
                seen.setdefault(i, []).append(calls[i]())
        results[k] = seen

    threads = [threading.Thread(target=read, args=(k,)) for k in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for seen in results:
        for i, values in seen.items():
            assert all(v == expected[i] for v in values)


# --------------------------------------------------------------------------
# Fork
# --------------------------------------------------------------------------


FORKS = 40  # before the at-fork handling, about one child in four hung


def wait_for_child(pid, timeout):
    """The child's exit code, or None after killing a child that did not finish."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.005)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    return None


@pytest.mark.fork
@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")
def test_a_child_forked_while_threads_plan_finishes(sample, capsys):
    path, (dep, arr) = sample
    core_calc.DB_PATH = str(path)
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    expected = core_calc.generate_flight_plan(dep, arr)
    assert expected
    stop = threading.Event()

    def plan_until_stopped():
        while not stop.is_set():
            core_calc.generate_flight_plan(dep, arr)

    planners = [threading.Thread(target=plan_until_stopped) for _ in range(4)]
    for t in planners:
        t.start()
    outcomes = []
    try:
        for _ in range(FORKS):
            time.sleep(0.01)
            pid = os.fork()
            if pid == 0:  # the child: one plan of its own, then out without cleanup
                try:
                    os._exit(0 if core_calc.generate_flight_plan(dep, arr) == expected else 1)
                finally:
                    os._exit(2)
            outcomes.append(wait_for_child(pid, timeout=20))
    finally:
        stop.set()
        for t in planners:
            t.join()
    assert outcomes == [0] * FORKS
