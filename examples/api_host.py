#!/usr/bin/env python3
"""A small flight-plan API host built on core_calc, as our users run one.

    python examples/api_host.py --db PATH [--port N]

Loads the airway network of the navigation database PATH once at start and
serves, on 127.0.0.1:

    GET /plan?dep=XXXX&arr=YYYY[&sid=..][&star=..][&iap=..][&dep_rwy=..][&arr_rwy=..]

200 with the API record of the best plan as JSON; 400 with
{"success": false, "message": ...} for missing or malformed parameters; 404 with
{"success": false, "message": "No route found"} when there is no route, and a 404
JSON answer for any other path. `sid`, `star`, `iap`, `dep_rwy` and `arr_rwy`
force the departure procedure, arrival procedure, approach and runways.

It prints "listening on 127.0.0.1:PORT" once it accepts connections; --port 0
picks a free port.
"""
import argparse
import http.server
import json
import os
import re
import sys
import threading
import urllib.parse

import core_calc

AIRPORT_CODE = re.compile(r"[A-Za-z0-9]{3,8}")
PROCEDURE_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9.#_-]{0,19}")
RUNWAY = re.compile(r"[A-Za-z0-9]{1,6}")

# Query parameter -> (generate_flight_plan keyword, pattern, description).
OPTIONAL = {
    "sid": ("forced_sid", PROCEDURE_NAME, "a procedure name"),
    "star": ("forced_star", PROCEDURE_NAME, "a procedure name"),
    "iap": ("forced_iap", PROCEDURE_NAME, "an approach name"),
    "dep_rwy": ("forced_dep_rwy", RUNWAY, "a runway designator such as RW09L"),
    "arr_rwy": ("forced_arr_rwy", RUNWAY, "a runway designator such as RW27"),
}
REQUIRED = ("dep", "arr")

# The planner keeps the recommended runways of the latest request in module
# attributes that the formatting reads back, so one request plans and formats
# at a time: concurrent requests would otherwise report each other's runways.
PLANNING = threading.Lock()


class BadRequest(Exception):
    """A request the client has to correct; the message says how."""


def request_arguments(query):
    """Keyword arguments of generate_flight_plan for a /plan query string."""
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


def plan_record(arguments):
    """(status, body) for one planning request."""
    dep, arr = arguments.pop("dep"), arguments.pop("arr")
    with PLANNING:
        result = core_calc.generate_flight_plan(dep, arr, **arguments)
        best = result[0] if result else None
        if not best:
            return 404, {"success": False, "message": "No route found"}
        return 200, core_calc.format_for_api(best)


class PlanHandler(http.server.BaseHTTPRequestHandler):
    server_version = "core_calc-api-host/1.0"

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path != "/plan":
            self.answer(404, {"success": False, "message": f"unknown path '{url.path}'; "
                                                            "use GET /plan?dep=XXXX&arr=YYYY"})
            return
        try:
            status, body = plan_record(request_arguments(url.query))
        except BadRequest as bad:
            status, body = 400, {"success": False, "message": str(bad)}
        except Exception as error:  # the client gets an answer, the log the detail
            self.log_error("planning failed: %r", error)
            status, body = 500, {"success": False, "message": "Internal error while planning"}
        self.answer(status, body)

    def not_allowed(self):
        self.answer(405, {"success": False, "message": f"method {self.command} not allowed; "
                                                        "use GET"}, allow="GET")

    do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = not_allowed

    def answer(self, status, body, allow=None):
        data = json.dumps(body, ensure_ascii=False).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        if allow:
            self.send_header("Allow", allow)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def log_message(self, format, *args):
        sys.stderr.write(f"{self.address_string()} {format % args}\n")


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
    args = parser.parse_args(argv)
    if not os.path.isfile(args.db):
        parser.error(f"no navigation database at {args.db}")
    if not 0 <= args.port <= 65535:
        parser.error("--port must be between 0 and 65535")

    load_network(os.path.abspath(args.db))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), PlanHandler)
    server.daemon_threads = True
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
