"""The flight-plan service as a subprocess on 127.0.0.1, as `make host` runs it.

It runs the service of this checkout's server/ folder against the core_calc build of
the test run; its output is drained so it never blocks on a full pipe.
"""
import json
import os
import queue
import re
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

import core_calc

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SERVER_DIR = os.path.join(ROOT, "server")
START_TIMEOUT = 120  # seconds; only a guard against a service that never comes up
REQUEST_TIMEOUT = 120


class Service:
    def __init__(self, *args, workers=2, log_level="warning"):
        env = dict(os.environ)
        module_dir = os.path.dirname(os.path.abspath(core_calc.__file__))
        env["PYTHONPATH"] = os.pathsep.join(
            p for p in (SERVER_DIR, module_dir, env.get("PYTHONPATH")) if p)
        env["PYTHONUNBUFFERED"] = "1"
        command = [sys.executable, "-m", "core_calc_server", "--port", "0",
                   "--workers", str(workers), "--log-level", log_level, *args]
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, encoding="utf-8",
                                        errors="replace")
        self.lines = queue.Queue()
        self.output = []
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()
        self.url = None
        self.workers = workers

    def _drain(self):
        for line in self.process.stdout:
            self.output.append(line)
            self.lines.put(line)
        self.lines.put(None)

    def wait_until_listening(self):
        while True:
            line = self.lines.get(timeout=START_TIMEOUT)
            if line is None:
                raise AssertionError("service ended before listening:\n" + "".join(self.output))
            match = re.fullmatch(r"listening on (127\.0\.0\.1:\d+)\s*", line)
            if match:
                self.url = f"http://{match.group(1)}"
                break
        # The master listens before it forks the workers.
        deadline = time.monotonic() + START_TIMEOUT
        while len(self.worker_pids()) < self.workers:
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise AssertionError("workers did not start:\n" + "".join(self.output))
            time.sleep(0.05)
        return self

    def worker_pids(self):
        """The pids of the workers, read from the master's children."""
        with open(f"/proc/{self.process.pid}/task/{self.process.pid}/children") as f:
            return [int(pid) for pid in f.read().split()]

    def wait_for_exit(self):
        try:
            code = self.process.wait(timeout=START_TIMEOUT)
            self.reader.join(timeout=START_TIMEOUT)
            return code
        finally:
            self.stop()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def __enter__(self):
        return self.wait_until_listening()

    def __exit__(self, *exc):
        self.stop()


def fetch(url, method="GET"):
    """(status, headers, body bytes) of one request."""
    request = urllib.request.Request(url, method=method)
    try:
        with urllib.request.urlopen(request, timeout=REQUEST_TIMEOUT) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        with error:
            return error.code, error.headers, error.read()


def get_json(url, method="GET"):
    """(status, decoded JSON body, content type) of one request."""
    status, headers, body = fetch(url, method)
    return status, json.loads(body or b"null"), headers["Content-Type"]


def plan_url(base, path="/plan", **params):
    return f"{base}{path}?{urllib.parse.urlencode(params)}"
