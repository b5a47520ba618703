"""Load against the flight-plan service on 127.0.0.1, bounded in time and count, and
the memory and thread figures of its processes. Used by bench_service.py and by the
service's load test.
"""
import asyncio
import os
import resource
import statistics
import time
import urllib.parse

ANSWER_TIMEOUT = 60  # seconds; a guard per answer, well beyond any normal one


def raise_file_limit():
    """Lets this process hold thousands of client sockets."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))] if ordered else None


class Connection:
    """One HTTP/1.1 connection that sends GETs and reads whole answers: a client this
    small costs the processors the service shares with it next to nothing."""

    def __init__(self, url, keep_alive=True):
        parts = urllib.parse.urlsplit(url)
        self.address = (parts.hostname, parts.port)
        target = parts.path + (f"?{parts.query}" if parts.query else "")
        close = "" if keep_alive else "Connection: close\r\n"
        self.request = (f"GET {target} HTTP/1.1\r\nHost: {parts.netloc}\r\n{close}\r\n").encode()
        self.streams = None

    async def get(self):
        """The status of one answer; its body is read and dropped."""
        if self.streams is None:
            self.streams = await asyncio.open_connection(*self.address)
        reader, writer = self.streams
        writer.write(self.request)
        head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), ANSWER_TIMEOUT)
        lines = head.decode("latin-1").split("\r\n")
        headers = dict(line.lower().split(": ", 1) for line in lines[1:] if ": " in line)
        await asyncio.wait_for(reader.readexactly(int(headers.get("content-length", 0))),
                               ANSWER_TIMEOUT)
        if headers.get("connection") == "close":
            self.close()
        return int(lines[0].split(" ", 2)[1])

    def close(self):
        if self.streams:
            self.streams[1].close()
            self.streams = None


async def _load(url, connections, seconds, max_requests, keep_alive):
    latencies, errors, statuses = [], [], {}
    deadline = time.monotonic() + seconds

    async def one_connection():
        connection = Connection(url, keep_alive)
        try:
            while time.monotonic() < deadline and len(latencies) + len(errors) < max_requests:
                start = time.monotonic()
                try:
                    status = await connection.get()
                except (OSError, asyncio.IncompleteReadError, asyncio.TimeoutError,
                        ValueError) as error:
                    errors.append(repr(error))
                    connection.close()
                    continue
                latencies.append(time.monotonic() - start)
                statuses[status] = statuses.get(status, 0) + 1
        finally:
            connection.close()

    started = time.monotonic()
    await asyncio.gather(*(one_connection() for _ in range(connections)))
    elapsed = time.monotonic() - started
    return {"requests": len(latencies), "errors": len(errors), "statuses": statuses,
            "first_errors": errors[:3], "seconds": elapsed,
            "per_second": len(latencies) / elapsed,
            "p50_ms": 1000 * statistics.median(latencies) if latencies else None,
            "p99_ms": 1000 * percentile(latencies, 0.99) if latencies else None}


def load(url, connections=200, seconds=20, max_requests=200_000, keep_alive=True):
    """GET url over `connections` connections at once until `seconds` have passed (or
    max_requests were sent): requests, errors, statuses, requests/s, p50 and p99.
    Without keep_alive every request opens a connection of its own."""
    return asyncio.run(_load(url, connections, seconds, max_requests, keep_alive))


async def _slow_and_idle(host, port, probe_url, slow, idle, byte_pause, probes, during):
    request = f"GET /health HTTP/1.1\r\nHost: {host}:{port}\r\nConnection: close\r\n\r\n"
    idle_streams = []
    for _ in range(idle):
        idle_streams.append(await asyncio.open_connection(host, port))

    async def slow_client():
        reader, writer = await asyncio.open_connection(host, port)
        try:
            for byte in request.encode():
                writer.write(bytes([byte]))
                await writer.drain()
                await asyncio.sleep(byte_pause)
            answer = await asyncio.wait_for(reader.read(), 30)
            return answer.split(b"\r\n", 1)[0]
        finally:
            writer.close()

    slow_tasks = [asyncio.create_task(slow_client()) for _ in range(slow)]
    probe_times, probe_statuses = [], []
    probe = Connection(probe_url)
    for _ in range(probes):
        await asyncio.sleep(byte_pause * len(request) / (probes + 1))
        start = time.monotonic()
        probe_statuses.append(await probe.get())
        probe_times.append(time.monotonic() - start)
    probe.close()
    snapshot = during() if during else None
    slow_lines = await asyncio.gather(*slow_tasks)
    still_open = sum(1 for reader, _ in idle_streams if not reader.at_eof())
    for _, writer in idle_streams:
        writer.close()
    return {"slow_answered": sum(1 for line in slow_lines if line.endswith(b" 200 OK")),
            "idle_open_at_end": still_open, "probe_ms": [round(1000 * t) for t in probe_times],
            "probe_statuses": probe_statuses, "during": snapshot}


def slow_and_idle(host, port, probe_url, slow=50, idle=2000, byte_pause=0.05, probes=5,
                  during=None):
    """Opens `idle` connections that send nothing and `slow` clients that send a
    request byte by byte (byte_pause seconds apart); meanwhile GETs probe_url `probes`
    times on a connection of its own and calls `during()` once. How many slow clients
    were answered, how many idle connections were still open, the probes' times."""
    return asyncio.run(_slow_and_idle(host, port, probe_url, slow, idle, byte_pause, probes,
                                      during))


def process_figures(pid):
    """Threads and memory of one process in KiB, from /proc: rss, pss, shared (pages
    also mapped by another process) and private."""
    fields = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[2] == "kB":
                fields[parts[0].rstrip(":")] = int(parts[1])
    with open(f"/proc/{pid}/status") as f:
        threads = next(int(line.split()[1]) for line in f if line.startswith("Threads:"))
    return {"threads": threads, "rss": fields["Rss"], "pss": fields["Pss"],
            "shared": fields["Shared_Clean"] + fields["Shared_Dirty"],
            "private": fields["Private_Clean"] + fields["Private_Dirty"]}


def cpu_seconds(pid):
    """Processor time of a process so far (user and system, all its threads)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


PAGE_KIB = resource.getpagesize() // 1024
PRESENT = 1 << 63
FRAME = (1 << 55) - 1


def _frames(pid, start, end):
    """The physical frame of each page of [start, end) in pid, None where absent."""
    page = resource.getpagesize()
    with open(f"/proc/{pid}/pagemap", "rb") as f:
        f.seek(start // page * 8)
        data = f.read((end - start) // page * 8)
    entries = [int.from_bytes(data[i:i + 8], "little") for i in range(0, len(data), 8)]
    return [e & FRAME if e & PRESENT else None for e in entries]


def pages_kept_shared(master_pid, worker_pid):
    """(KiB resident in the master, KiB of them the worker maps to the same physical
    page, KiB the worker holds a copy of): how much of the master's memory the worker
    still shares. A page the worker has not touched since the fork is neither (file
    pages are mapped on first use). Reading physical frames needs root."""
    resident = shared = copied = 0
    with open(f"/proc/{master_pid}/maps") as f:
        ranges = [tuple(int(x, 16) for x in line.split()[0].split("-")) for line in f]
    for start, end in ranges:
        if end - start > 1 << 36:
            continue  # reserved address space, never resident
        try:
            mine = _frames(master_pid, start, end)
            theirs = _frames(worker_pid, start, end)
        except OSError:
            continue  # a mapping that cannot be read ([vsyscall])
        for frame, other in zip(mine, theirs):
            if frame:
                resident += PAGE_KIB
                if other == frame:
                    shared += PAGE_KIB
                elif other:
                    copied += PAGE_KIB
    return resident, shared, copied
