"""The flight-plan service: an ASGI application (FastAPI) over one loaded network.

    create_app(db_path, cycle=None, weather_url=None, leaflet_dir=LEAFLET_DIR)

loads the airway network of db_path in the calling process and returns the app.
Under a pre-fork server the master calls it before forking (gunicorn --preload), so
every worker reads the same native network, shared copy-on-write; nothing in the
app is written after the load. The planning endpoints are `def` handlers: they run
on the server's thread pool, and plan_for_api plans without the GIL.

    GET /plan?dep=XXXX&arr=YYYY[&sid=..][&star=..][&iap=..][&dep_rwy=..][&arr_rwy=..]
    GET /plan.geojson, .gpx, .fms, .pln, .fpl   the best route as a file
    GET /network.geojson?bbox=min_lon,min_lat,max_lon,max_lat[&limit=N]
    GET /health
    GET /                                     the map page
    GET /openapi.json, /docs                  the API document

Answers: 200 with the best route's record, its alternatives and warnings; a
failure is JSON {"success": false, "status", "message", "warnings"} with the HTTP
status of outcome.HTTP_STATUS; an invalid parameter is 422 with the parameter
named. HEAD answers the headers of GET, OPTIONS 204 with Allow.
"""
import contextlib
import json
import logging
import os
import pathlib
import time

import anyio.to_thread
import core_calc
from fastapi import Depends, FastAPI, Query, Request
from fastapi.exceptions import RequestValidationError
from fastapi.responses import FileResponse, Response
from fastapi.staticfiles import StaticFiles
from starlette.exceptions import HTTPException

from . import network_layer, outcome
from .models import Failure, Health, PlanAnswer
from .params import PlanParams, single_values

# Where Debian's libjs-leaflet puts Leaflet; the page loads it from this host only.
LEAFLET_DIR = "/usr/share/javascript/leaflet"
STATIC_DIR = pathlib.Path(__file__).parent / "static"
JSON_TYPE = "application/json; charset=utf-8"
ALLOW = "GET, HEAD, OPTIONS"
# Export suffix -> (export of a record, content type).
EXPORTS = {
    "geojson": (core_calc.route_geojson, "application/geo+json"),
    "gpx": (core_calc.route_gpx, "application/gpx+xml"),
    "fms": (core_calc.route_fms, "text/plain; charset=utf-8"),
    "pln": (core_calc.route_pln, "application/xml; charset=utf-8"),
    "fpl": (core_calc.route_fpl, "application/xml; charset=utf-8"),
}
NETWORK_LIMIT = 3000  # legs per /network.geojson answer unless the client asks for fewer
NETWORK_LIMIT_MAX = 20000

log = logging.getLogger("core_calc_server")
FAILURES = {code: {"model": Failure} for code in (404, 422, 500, 503)}


class ServiceError(RuntimeError):
    """The service cannot start: the message says why."""


class Service:
    """The network and what /health tells about it, loaded once per process tree."""

    def __init__(self, db_path, cycle=None, weather_url=None):
        if not os.path.isfile(db_path):
            raise ServiceError(f"no navigation database at {db_path}")
        self.db_path = os.path.abspath(db_path)
        self.cycle = cycle
        core_calc.DB_PATH = self.db_path
        if weather_url is not None:
            core_calc.WEATHER_API_URL = weather_url
        strict_loader = getattr(core_calc, "load_network", None)
        network = strict_loader(self.db_path) if strict_loader else core_calc.init_network()
        if not len(network.coord_map):
            raise ServiceError(f"no airway network could be read from {db_path}")
        core_calc.GLOBAL_NETWORK = network
        self.grid_size = core_calc.GRID_SIZE
        self.nodes = len(network.coord_map)
        self.airway_rows = len(core_calc.AIRWAY_META)
        self.loaded_at = time.time()

    def health(self):
        network = core_calc.GLOBAL_NETWORK
        return {"status": "ok" if network is not None else "unavailable",
                "network_loaded": network is not None, "airway_rows": self.airway_rows,
                "nodes": self.nodes, "database": self.db_path, "cycle": self.cycle,
                "uptime_s": round(time.time() - self.loaded_at, 3), "pid": os.getpid()}

    def plan(self, query):
        """(HTTP status, result mapping) of one planning request."""
        lines = []
        result = outcome.plan(query.dep, query.arr, query.forced(), lines.append)
        if lines and log.isEnabledFor(logging.INFO):
            prefix = f"{query.dep}-{query.arr} | "
            log.info("\n".join(prefix + line.strip() for line in lines))
        status = outcome.http_status(result["status"])
        if status == 500:
            log.error("unexpected planning status %r", result["status"])
        return status, result


def json_response(status, body, headers=None):
    data = json.dumps(body, ensure_ascii=False).encode("utf-8")
    return Response(data, status_code=status, media_type=JSON_TYPE, headers=headers)


def failure(status, code, message, warnings=(), headers=None, **extra):
    body = {"success": False, "status": code, "message": message, "warnings": list(warnings)}
    return json_response(status, {**body, **extra}, headers=headers)


def plan_answer(status, result):
    if status != 200:
        return failure(status, result["status"], result["message"], result["warnings"])
    return json_response(200, {**result["plan"], "alternatives": result["alternatives"],
                               "warnings": result["warnings"]})


def create_app(db_path, cycle=None, weather_url=None, leaflet_dir=LEAFLET_DIR, threads=None):
    """`threads`: requests planned at once per process (the thread pool's size;
    the framework's default when None)."""
    service = Service(db_path, cycle=cycle, weather_url=weather_url)

    @contextlib.asynccontextmanager
    async def lifespan(app):
        if threads:
            anyio.to_thread.current_default_thread_limiter().total_tokens = threads
        yield

    app = FastAPI(title="core_calc flight-plan service", version="1", lifespan=lifespan,
                  description="Flight plans over the airway network of one navigation "
                              "database: the best route with its alternatives, as JSON or "
                              "as GeoJSON, GPX, X-Plane .fms, MSFS .pln or Garmin .fpl files.")
    app.state.service = service
    add_error_answers(app)

    @app.get("/plan", response_model=None, dependencies=[Depends(single_values)],
             responses={200: {"model": PlanAnswer}, **FAILURES},
             summary="The best route between two airports, with its alternatives")
    def plan(query: PlanParams):
        return plan_answer(*service.plan(query))

    def add_export(suffix, export, content_type):
        @app.get(f"/plan.{suffix}", response_model=None, dependencies=[Depends(single_values)],
                 responses={200: {"content": {content_type.split(";")[0]: {}}}, **FAILURES},
                 summary=f"The best route as a .{suffix} file", name=f"plan_{suffix}")
        def plan_file(query: PlanParams):
            status, result = service.plan(query)
            if status != 200:
                return plan_answer(status, result)
            record = result["plan"]
            data = (export(record, service.cycle) if suffix == "fms" else export(record))
            name = f"{record['origin']}-{record['destination']}.{suffix}"
            return Response(data.encode("utf-8"), media_type=content_type,
                            headers={"Content-Disposition": f'attachment; filename="{name}"'})

    for suffix, (export, content_type) in EXPORTS.items():
        add_export(suffix, export, content_type)

    # GET /route (a route string a user typed, expanded along the network) joins here
    # with the same export suffixes once the module has expand_route.

    @app.get("/network.geojson", response_model=None, responses={422: {"model": Failure}},
             summary="Airway legs inside a box, for a map's background layer")
    def network(bbox: str = Query(description="min_lon,min_lat,max_lon,max_lat in degrees"),
                limit: int = Query(NETWORK_LIMIT, ge=1, le=NETWORK_LIMIT_MAX,
                                   description="most legs returned, nearest the centre first")):
        try:
            box = network_layer.parse_bbox(bbox)
        except network_layer.BoxError as error:
            return failure(422, "invalid_request", f"parameter 'bbox': {error}",
                           detail=[{"loc": ["query", "bbox"], "msg": str(error),
                                    "type": "value_error"}])
        if core_calc.GLOBAL_NETWORK is None:
            return failure(503, "network_not_loaded", "The airway network is not loaded.")
        layer = network_layer.network_geojson(core_calc.GLOBAL_NETWORK, service.grid_size,
                                              box, limit)
        return json_response(200, layer)

    @app.get("/health", response_model=Health, summary="Whether the network is loaded")
    def health():
        body = service.health()
        return json_response(200 if body["network_loaded"] else 503, body)

    @app.get("/", include_in_schema=False)
    def page():
        return FileResponse(STATIC_DIR / "index.html", media_type="text/html; charset=utf-8")

    app.mount("/static/leaflet", StaticFiles(directory=leaflet_dir, check_dir=False),
              name="leaflet")
    app.mount("/static", StaticFiles(directory=STATIC_DIR), name="static")
    return HeadAndOptions(app)


def add_error_answers(app):
    """Every error the framework raises answers in the service's failure shape."""

    @app.exception_handler(RequestValidationError)
    def invalid(request: Request, error: RequestValidationError):
        detail = [{"loc": list(e["loc"]), "msg": e["msg"], "type": e["type"]}
                  for e in error.errors()]
        first = detail[0]
        name = first["loc"][-1] if len(first["loc"]) > 1 else "query"
        message = f"parameter '{name}': {first['msg']}"
        if first["type"] == "extra_forbidden":
            message = f"unknown parameter '{name}'"
        return failure(422, "invalid_request", message, detail=detail)

    @app.exception_handler(HTTPException)
    def http_error(request: Request, error: HTTPException):
        if error.status_code == 405:
            return failure(405, "method_not_allowed",
                           f"method {request.method} not allowed; use {ALLOW}",
                           headers={"Allow": ALLOW})
        if error.status_code == 404:
            return failure(404, "not_found", f"unknown path '{request.url.path}'; "
                                             "use GET /plan?dep=XXXX&arr=YYYY")
        return failure(error.status_code, "http_error", str(error.detail))

    @app.exception_handler(Exception)
    def unexpected(request: Request, error: Exception):
        log.exception("request %s failed", request.url.path)
        return failure(500, "internal_error", "Internal error while planning")


class HeadAndOptions:
    """HEAD is answered as GET (the server sends no body for it); OPTIONS with 204
    and Allow on every path the app answers."""

    def __init__(self, app):
        self.app = app
        self.state = app.state

    async def __call__(self, scope, receive, send):
        if scope["type"] == "http" and scope["method"] == "HEAD":
            scope = dict(scope, method="GET")
            send = self.without_body(send)
        elif scope["type"] == "http" and scope["method"] == "OPTIONS":
            if self.known(scope["path"]):
                await send({"type": "http.response.start", "status": 204,
                            "headers": [(b"allow", ALLOW.encode())]})
                await send({"type": "http.response.body", "body": b""})
                return
        await self.app(scope, receive, send)

    @staticmethod
    def without_body(send):
        async def send_headers_only(message):
            if message["type"] == "http.response.body":
                message = {**message, "body": b""}
            await send(message)
        return send_headers_only

    def known(self, path):
        return path == "*" or any(getattr(route, "path", None) == path
                                  for route in self.app.routes)
