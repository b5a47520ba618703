"""The service under load on 127.0.0.1, bounded in count and time: many concurrent
clients, then slow and idle connections while normal requests go on. The figures are
printed (pytest -s shows them); make bench measures them for the README."""
import json
import os
import sys
import urllib.parse

import pytest

pytest.importorskip("fastapi")

from service_host import ROOT, Service, plan_url  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import gen_navdb  # noqa: E402
import service_load  # noqa: E402

pytestmark = [pytest.mark.service, pytest.mark.fork]

CONNECTIONS = 200
SECONDS = 20
SLOW_CLIENTS = 50
IDLE_CONNECTIONS = 2000
PROBE_LIMIT_S = 1.0
THREADS_PER_WORKER = 100  # the thread pool and the planner's threads, nowhere near one a socket


@pytest.fixture(scope="module")
def demo(tmp_path_factory):
    service_load.raise_file_limit()
    path = tmp_path_factory.mktemp("navdb") / "demo.db"
    pair = tuple(gen_navdb.generate(str(path), "demo")["demo_pair"])
    with Service("--db", str(path)) as running:
        yield running, plan_url(running.url, dep=pair[0], arr=pair[1])


def test_concurrent_clients_are_all_answered(demo):
    _, url = demo
    figures = service_load.load(url, connections=CONNECTIONS, seconds=SECONDS)
    print("\nload:", json.dumps(figures))
    assert figures["errors"] == 0, figures["first_errors"]
    assert figures["statuses"] == {200: figures["requests"]}
    assert figures["requests"] >= CONNECTIONS


def test_slow_and_idle_clients_hold_no_thread_and_block_nobody(demo):
    service, url = demo
    workers = service.worker_pids()
    service_load.load(url, connections=8, seconds=1)  # the thread pools are up
    before = {pid: service_load.process_figures(pid) for pid in workers}
    address = urllib.parse.urlsplit(service.url)
    result = service_load.slow_and_idle(
        address.hostname, address.port, url, slow=SLOW_CLIENTS, idle=IDLE_CONNECTIONS,
        during=lambda: {pid: service_load.process_figures(pid) for pid in workers})
    print("\nslow and idle:", json.dumps({"before": before, **result}))
    assert result["slow_answered"] == SLOW_CLIENTS
    assert result["probe_statuses"] == [200] * len(result["probe_ms"])
    assert max(result["probe_ms"]) < 1000 * PROBE_LIMIT_S
    for pid, figures in result["during"].items():
        assert figures["threads"] < THREADS_PER_WORKER
        assert figures["rss"] - before[pid]["rss"] < 200 * 1024  # KiB, for ~1000 sockets each
