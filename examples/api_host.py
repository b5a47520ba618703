#!/usr/bin/env python3
"""A small flight-plan API host built on core_calc, as our users run one.

    python examples/api_host.py --db PATH [--port N] [--weather-url URL]

Loads the airway network of the navigation database PATH once at start and
serves, on 127.0.0.1, one route request per call of plan_for_api, which is safe
from any number of threads: requests are planned concurrently, without a lock.

    GET /plan?dep=XXXX&arr=YYYY[&sid=..][&star=..][&iap=..][&dep_rwy=..][&arr_rwy=..]
    GET /plan.geojson?...   the best route as GeoJSON    (application/geo+json)
    GET /plan.gpx?...       the best route as GPX 1.1    (application/gpx+xml)
    GET /plan.fms?...       the best route as X-Plane 11 .fms (text/plain)

`sid`, `star`, `iap`, `dep_rwy` and `arr_rwy` force the departure procedure,
arrival procedure, approach and runways.

/plan answers 200 with the record of the best plan as JSON (the keys of
plan_for_api's record: "success", "message", "origin", ..., "flown_distance_km",
"flown_distance_nm", "legs", "runways"), followed by

    "alternatives": [record, ...]   up to three other routes, shortest first
    "warnings": [text, ...]         forced procedures the planner did not find,
                                    e.g. "forced STAR 'XYZ1A' not found at YYYY;
                                    planned without it"

Every failure is JSON {"success": false, "message": ...}:
  400  missing or malformed parameters;
  404  "unknown departure airport XXXX" / "unknown arrival airport YYYY" when the
       database has no runway, no procedure and no reference point for it;
       "No route found" (with "warnings") when both airports are known but no
       route joins them; "unknown path '...'" for any other path;
  405  a method other than GET, HEAD and OPTIONS (with Allow);
  500  an unexpected failure while planning.
HEAD answers the headers of GET without the body; OPTIONS answers 204 with Allow.

The diagnostic lines of each request are written to stdout as one block, each
line prefixed with the request's "DEP-ARR". It prints "listening on
127.0.0.1:PORT" once it accepts connections; --port 0 picks a free port.
--weather-url sets the weather service (core_calc.WEATHER_API_URL).
"""
import argparse
import contextlib
import http.server
import json
import os
import pathlib
import re
import sqlite3
import sys
import urllib.parse

import core_calc

AIRPORT_CODE = re.compile(r"[A-Za-z0-9]{3,8}")
PROCEDURE_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9.#_-]{0,19}")
RUNWAY = re.compile(r"[A-Za-z0-9]{1,6}")

# Query parameter -> (plan_for_api keyword, pattern, description).
OPTIONAL = {
    "sid": ("forced_sid", PROCEDURE_NAME, "a procedure name"),
    "star": ("forced_star", PROCEDURE_NAME, "a procedure name"),
    "iap": ("forced_iap", PROCEDURE_NAME, "an approach name"),
    "dep_rwy": ("forced_dep_rwy", RUNWAY, "a runway designator such as RW09L"),
    "arr_rwy": ("forced_arr_rwy", RUNWAY, "a runway designator such as RW27"),
}
REQUIRED = ("dep", "arr")

JSON_TYPE = "application/json; charset=utf-8"
# Path -> (export of a record, content type, file extension); /plan is the JSON record.
EXPORTS = {
    "/plan.geojson": (core_calc.route_geojson, "application/geo+json", "geojson"),
    "/plan.gpx": (core_calc.route_gpx, "application/gpx+xml", "gpx"),
    "/plan.fms": (core_calc.route_fms, "text/plain; charset=utf-8", "fms"),
}
PATHS = ("/plan", *EXPORTS)
ALLOW = "GET, HEAD, OPTIONS"

# The planner's line for a forced procedure it did not find, e.g.
# "⚠️ [Debug] 强制 STAR 'XYZ1A' 未找到"; SID at the departure, STAR and IAP at the arrival.
NOT_FOUND = re.compile(r"强制 (SID|STAR|IAP) '(.*)' 未找到")
FORCED_KIND = {"SID": "SID", "STAR": "STAR", "IAP": "approach"}


class BadRequest(Exception):
    """A request the client has to correct; the message says how."""


def request_arguments(query):
    """dep, arr and the forced keyword arguments of plan_for_api for a query string."""
    try:
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True, errors="strict")
    except (ValueError, UnicodeDecodeError):
        raise BadRequest("malformed query string") from None
    values = {}
    for name, value in pairs:
        if name not in REQUIRED and name not in OPTIONAL:
            raise BadRequest(f"unknown parameter '{name}'; use dep, arr, "
                             f"{', '.join(OPTIONAL)}")
        if name in values:
            raise BadRequest(f"parameter '{name}' given more than once")
        values[name] = value.strip()
    arguments = {}
    for name in REQUIRED:
        code = values.get(name, "")
        if not code:
            raise BadRequest(f"missing parameter '{name}' (ICAO code of the "
                             f"{'departure' if name == 'dep' else 'arrival'} airport)")
        if not AIRPORT_CODE.fullmatch(code):
            raise BadRequest(f"parameter '{name}' must be an airport code of 3 to 8 letters "
                             f"or digits, not {code!r}")
        arguments[name] = code.upper()
    if arguments["dep"] == arguments["arr"]:
        raise BadRequest("departure and arrival airports must differ")
    for name, (keyword, pattern, description) in OPTIONAL.items():
        value = values.get(name, "")
        if not value:
            continue  # an empty optional parameter means "let the planner choose"
        if not pattern.fullmatch(value):
            raise BadRequest(f"parameter '{name}' must be {description}, not {value!r}")
        arguments[keyword] = value.upper() if name.endswith("_rwy") else value
    return arguments


def airport_known(code):
    """Whether the database holds a runway, a procedure or a reference point for code.

    The tables and names the planner reads: those of the current TABLE_SUFFIX, and
    the reference point from airports or the plain runway table."""
    tables = [core_calc._tn(t) for t in ("tbl_runways", "tbl_sids", "tbl_stars", "tbl_iaps")]
    queries = [f"SELECT 1 FROM {table} WHERE airport_identifier = ? LIMIT 1" for table in tables]
    queries += [
        "SELECT 1 FROM airports WHERE airport_identifier = ? AND airport_ref_latitude "
        "IS NOT NULL AND airport_ref_longitude IS NOT NULL LIMIT 1",
        "SELECT 1 FROM tbl_runways WHERE airport_identifier = ? AND runway_latitude "
        "IS NOT NULL AND runway_longitude IS NOT NULL LIMIT 1",
    ]
    uri = pathlib.Path(core_calc.DB_PATH).resolve().as_uri() + "?mode=ro"
    with contextlib.closing(sqlite3.connect(uri, uri=True)) as conn:
        for query in queries:
            try:
                if conn.execute(query, (code,)).fetchone():
                    return True
            except sqlite3.Error:
                continue  # a table this database lacks holds nothing for the airport
    return False


def forced_warnings(lines, dep, arr):
    """Warnings for the forced procedures the planner reported as not found."""
    warnings = []
    for line in lines:
        match = NOT_FOUND.search(line)
        if match:
            kind, name = match.groups()
            airport = dep if kind == "SID" else arr
            outcome = "" if kind == "SID" else "; planned without it"
            warnings.append(f"forced {FORCED_KIND[kind]} '{name}' not found at {airport}{outcome}")
    return warnings


def log_lines(dep, arr, lines):
    """The request's diagnostic lines as one block, so requests do not interleave."""
    if lines:
        sys.stdout.write("".join(f"{dep}-{arr} | {line.strip()}\n" for line in lines))
        sys.stdout.flush()


def plan(arguments):
    """(status, body) of one planning request; body is the JSON answer of /plan."""
    dep, arr = arguments.pop("dep"), arguments.pop("arr")
    lines = []
    result = core_calc.plan_for_api(dep, arr, report=lines.append, **arguments)
    log_lines(dep, arr, lines)
    warnings = forced_warnings(lines, dep, arr)
    best = result["plan"] if result else None
    if best:
        return 200, {**best, "alternatives": result["alternatives"], "warnings": warnings}
    for role, code in (("departure", dep), ("arrival", arr)):
        if not airport_known(code):
            return 404, {"success": False, "message": f"unknown {role} airport {code}"}
    return 404, {"success": False, "message": "No route found", "warnings": warnings}


class PlanHandler(http.server.BaseHTTPRequestHandler):
    server_version = "core_calc-api-host/1.1"

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path not in PATHS:
            self.unknown_path(url.path)
            return
        try:
            status, body = plan(request_arguments(url.query))
            if status == 200 and url.path in EXPORTS:
                export, content_type, extension = EXPORTS[url.path]
                data = export(body).encode("utf-8")
                name = f"{body['origin']}-{body['destination']}.{extension}"
        except BadRequest as bad:
            status, body = 400, {"success": False, "message": str(bad)}
        except Exception as error:  # the client gets an answer, the log the detail
            self.log_error("planning failed: %r", error)
            status, body = 500, {"success": False, "message": "Internal error while planning"}
        if status == 200 and url.path in EXPORTS:
            self.send(200, data, content_type, disposition=f'attachment; filename="{name}"')
        else:
            self.answer(status, body)

    do_HEAD = do_GET  # send() leaves the body out for HEAD

    def do_OPTIONS(self):
        path = urllib.parse.urlsplit(self.path).path
        if path != "*" and path not in PATHS:
            self.unknown_path(path)
            return
        self.send_response(204)
        self.send_header("Allow", ALLOW)
        self.end_headers()

    def __getattr__(self, name):
        # The base class answers 501 to a method it finds no do_ handler for; any
        # method but GET, HEAD and OPTIONS is refused with 405 and Allow instead.
        if name.startswith("do_"):
            return self.not_allowed
        raise AttributeError(name)

    def not_allowed(self):
        self.answer(405, {"success": False, "message": f"method {self.command} not allowed; "
                                                        f"use {ALLOW}"}, allow=ALLOW)

    def unknown_path(self, path):
        self.answer(404, {"success": False, "message": f"unknown path '{path}'; "
                                                        "use GET /plan?dep=XXXX&arr=YYYY"})

    def answer(self, status, body, allow=None):
        self.send(status, json.dumps(body, ensure_ascii=False).encode("utf-8"), JSON_TYPE,
                  allow=allow)

    def send(self, status, data, content_type, allow=None, disposition=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        if allow:
            self.send_header("Allow", allow)
        if disposition:
            self.send_header("Content-Disposition", disposition)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def log_message(self, format, *args):
        sys.stderr.write(f"{self.address_string()} {format % args}\n")


class PlanServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128  # bursts of concurrent clients queue rather than retry


def load_network(db_path):
    core_calc.DB_PATH = db_path
    network = core_calc.init_network()
    if not network.coord_map:
        raise SystemExit(f"no airway network could be read from {db_path}")
    core_calc.GLOBAL_NETWORK = network


def main(argv=None):
    parser = argparse.ArgumentParser(description="Flight-plan API host on core_calc.")
    parser.add_argument("--db", required=True, help="navigation database (SQLite file)")
    parser.add_argument("--port", type=int, default=8080, help="TCP port, 0 for any free one")
    parser.add_argument("--weather-url", default=None,
                        help="base URL of the weather service (default: none, runways "
                             "keep database order)")
    args = parser.parse_args(argv)
    if not os.path.isfile(args.db):
        parser.error(f"no navigation database at {args.db}")
    if not 0 <= args.port <= 65535:
        parser.error("--port must be between 0 and 65535")
    if args.weather_url is not None:
        core_calc.WEATHER_API_URL = args.weather_url

    load_network(os.path.abspath(args.db))
    server = PlanServer(("127.0.0.1", args.port), PlanHandler)
    host, port = server.server_address[:2]
    print(f"listening on {host}:{port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
