"""Runs the service under gunicorn with uvicorn workers, the network shared by all.

    python -m core_calc_server --db PATH [--host 127.0.0.1] [--port 8080] [--workers 2]
                               [--weather-url URL] [--cycle 2401] [--threads N]
                               [--log-level info] [--no-preload]

The master loads the network (preload) and freezes the collector's objects just
before each fork, so the workers start on the master's pages and neither the
native network nor the frozen Python objects are copied: the network is only read.
Each worker serves its connections from one event loop (idle and slow clients cost
no thread) and plans on its thread pool. Prints "listening on HOST:PORT" once the
socket accepts; --port 0 picks a free port. SIGTERM stops it gracefully.
"""
import argparse
import logging
import resource
import sys

from gunicorn.app.base import BaseApplication

from . import gunicorn_conf
from .app import ServiceError, create_app

# Open connections the processes may hold in all (each is a file descriptor; idle
# and slow clients wait on the event loop, not on a thread).
OPEN_FILES = 16384
# Settings that older gunicorn versions do not know.
OPTIONAL_SETTINGS = {"control_socket_disable"}
SETTINGS = ("keepalive", "timeout", "graceful_timeout", "control_socket_disable", "pre_fork",
            "when_ready", "worker_class")


class PreforkServer(BaseApplication):
    def __init__(self, factory, options):
        self.factory = factory
        self.options = options
        super().__init__()

    def load_config(self):
        for name, value in self.options.items():
            if name in OPTIONAL_SETTINGS and name not in self.cfg.settings:
                continue  # a gunicorn without this setting
            self.cfg.set(name, value)

    def load(self):
        return self.factory()


def raise_file_limit(wanted):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    target = wanted if hard == resource.RLIM_INFINITY else min(wanted, hard)
    if soft < target:
        resource.setrlimit(resource.RLIMIT_NOFILE, (target, hard))


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m core_calc_server",
                                     description="Flight-plan service on core_calc.")
    parser.add_argument("--db", required=True, help="navigation database (SQLite file)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="TCP port, 0 for any free one")
    parser.add_argument("--workers", type=int, default=2, help="worker processes")
    parser.add_argument("--weather-url", default=None, help="base URL of the weather service")
    parser.add_argument("--cycle", default=None,
                        help="AIRAC cycle of the data, for /health and the .fms export")
    parser.add_argument("--threads", type=int, default=None,
                        help="requests each worker plans at once (default: the thread "
                             "pool's 40)")
    parser.add_argument("--no-preload", action="store_true",
                        help="each worker loads a network of its own after the fork "
                             "(for comparison only: nothing is shared)")
    parser.add_argument("--log-level", default="info",
                        help="info logs each request's diagnostic lines; warning does not")
    args = parser.parse_args(argv)
    if not 0 <= args.port <= 65535:
        parser.error("--port must be between 0 and 65535")
    if args.workers < 1:
        parser.error("--workers must be at least 1")

    logging.basicConfig(level=args.log_level.upper(), stream=sys.stdout,
                        format="%(message)s")
    raise_file_limit(OPEN_FILES)
    def load():
        return create_app(args.db, cycle=args.cycle, weather_url=args.weather_url,
                          threads=args.threads)

    if not args.no_preload:
        try:
            app = load()
        except ServiceError as error:
            print(error, file=sys.stderr)
            return 2
        load = lambda: app  # noqa: E731
    options = {name: getattr(gunicorn_conf, name) for name in SETTINGS}
    options.update(bind=f"{args.host}:{args.port}", workers=args.workers,
                   preload_app=not args.no_preload, loglevel=args.log_level)
    PreforkServer(load, options).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
