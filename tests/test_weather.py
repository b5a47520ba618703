"""get_best_runway_and_wind against a real local weather service and database."""
import dataclasses
import http.server
import json
import shutil
import socket
import sqlite3
import ssl
import subprocess
import threading
import time
import urllib.parse

import pytest

import core_calc
from navdb import NavDb

MISSING = object()


@dataclasses.dataclass
class Reply:
    status: int = 200
    body: bytes = b""
    headers: tuple = ()
    delay: float = 0.0  # seconds before answering
    raw: bytes = None  # written as is instead of a proper response, then the connection closes
    endless: bool = False  # body streamed until the client hangs up


@dataclasses.dataclass
class Request:
    path: str
    query: str
    api_keys: list  # every X-API-KEY header value received


class _Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        owner = self.server.owner
        parts = urllib.parse.urlsplit(self.path)
        keys = self.headers.get_all("X-API-KEY", [])
        owner.requests.append(Request(parts.path, parts.query, keys))
        reply = owner.reply
        if callable(reply):
            reply = reply(urllib.parse.parse_qs(parts.query).get("icao", [""])[0])
        if reply.delay:
            owner.stopping.wait(reply.delay)
        try:
            self._answer(reply)
        except OSError:
            pass  # the client gave up, as it should for oversized bodies

    def _answer(self, reply):
        if reply.raw is not None:
            self.wfile.write(reply.raw)
            return
        self.send_response(reply.status)
        for name, value in reply.headers:
            self.send_header(name, value)
        if not reply.endless:
            self.send_header("Content-Length", str(len(reply.body)))
        self.end_headers()
        if not reply.endless:
            self.wfile.write(reply.body)
            return
        chunk = b" " * 65536
        for _ in range(1024):  # 64 MiB at most, should the client never stop reading
            if self.server.owner.stopping.is_set():
                return
            self.wfile.write(chunk)

    def log_message(self, *args):
        pass


class WeatherServer:
    """A weather service on 127.0.0.1 that records each request and answers `reply`
    (a Reply, or a function of the requested code giving one)."""

    def __init__(self, tls_context=None):
        self.requests = []
        self.reply = Reply(body=report("KJFK", 240))
        self.stopping = threading.Event()
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _Handler)
        self.httpd.daemon_threads = True
        self.httpd.block_on_close = False
        self.httpd.handle_error = lambda *args: None
        if tls_context:
            self.httpd.socket = tls_context.wrap_socket(self.httpd.socket, server_side=True)
        self.httpd.owner = self
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, args=(0.05,), daemon=True)
        self.thread.start()

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}"

    def close(self):
        self.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join()


def report(code, direction=MISSING):
    wind = {} if direction is MISSING else {"direction": direction}
    return json.dumps({code: {"parsed": {"wind": wind}}}).encode()


@pytest.fixture
def service():
    server = WeatherServer()
    core_calc.WEATHER_API_URL = server.url
    yield server
    server.close()


@pytest.fixture
def runways(db_path):
    """Adds runway rows (identifier, bearing) of an airport to the database."""
    db = NavDb(db_path, tables=["tbl_runways"])
    yield lambda icao, *rows, **kw: db.runways(icao, *rows, **kw)
    db.close()


def by_bearing(*bearings):
    """Runway rows named after their bearing, in this database order."""
    return [(str(b), b) for b in bearings]


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def assert_same(actual, expected):
    """Equal and of the same kind: 240, 240.0 and "240" are different displays."""
    assert (actual, type(actual)) == (expected, type(expected))


# --- Ranking against the reported wind ---------------------------------------------


@pytest.mark.parametrize(
    "direction, bearings, expected",
    [
        (240, [240, 60, 150], ["240", "150"]),  # 90 degrees off counts, 180 does not
        ("240", [240, 60, 150], ["240", "150"]),
        (240.0, [240, 60, 150], ["240", "150"]),  # a real number is 240, not 2400
        (240.9, [240, 60, 150], ["240", "150"]),  # integer part
        ("240°", [240, 60, 150], ["240", "150"]),
        ("004", [190, 10], ["10"]),
        (350, [325, 10], ["10", "325"]),  # 20 degrees across north, not 340
        (360, [30, 0], ["0", "30"]),
        (0, [350, 10], ["350", "10"]),  # equal angles keep database order
        (0, [10, 350], ["10", "350"]),
        (240, [200, 250, 230, 240], ["240", "250", "230"]),  # four within 90: best three
        (0, [180, 170, 200], ["200"]),  # all beyond 90: the closest one only
    ],
)
def test_runways_are_ranked_by_wind(service, runways, direction, bearings, expected):
    runways("KJFK", *by_bearing(*bearings))
    service.reply = Reply(body=report("KJFK", direction))
    result, display = core_calc.get_best_runway_and_wind("KJFK")
    assert result == expected
    assert_same(display, direction)


@pytest.mark.parametrize(
    "direction, display",
    [
        ("VRB", "VRB"),
        ("VRB05KT", "VRB05KT"),
        (MISSING, ""),
        ("", ""),
        ("calm", "calm"),
        ("999", "999"),  # out of range however obtained
        (400, 400),
        (-10, -10),
        (360.5, 360.5),
        ("9" * 10000, "9" * 10000),
        (18446744073709551615, 18446744073709551615),
        (None, ""),
        (True, ""),
        ([2, 4, 0], ""),
        ({"deg": 240}, ""),
    ],
)
def test_no_usable_direction_gives_every_runway_in_database_order(
    service, runways, direction, display
):
    runways("KJFK", *by_bearing(60, 240, 150, 330, 10))
    service.reply = Reply(body=report("KJFK", direction))
    result, shown = core_calc.get_best_runway_and_wind("KJFK")
    assert result == ["60", "240", "150", "330", "10"]
    assert_same(shown, display)


def test_lower_case_code_is_upper_cased_for_request_lookup_and_query(service, runways):
    runways("KJFK", *by_bearing(60, 240))
    runways("kjfk", ("lower", 240))
    service.reply = Reply(body=report("KJFK", 240))
    assert core_calc.get_best_runway_and_wind("kjfk") == (["240"], 240)
    assert [(r.path, r.query) for r in service.requests] == [("/map/get_weather.php", "icao=KJFK")]


def test_no_runway_rows_keeps_the_wind(service, runways):
    runways("EGLL", ("09L", 90))
    assert core_calc.get_best_runway_and_wind("KJFK") == ([], 240)


# --- What reaches the service -------------------------------------------------------


def test_request_carries_key_and_settings_read_at_call_time(service, db_path):
    core_calc.get_best_runway_and_wind("KJFK")
    core_calc.WEATHER_API_KEY = "another-key"
    core_calc.WEATHER_API_URL = service.url + "/svc"
    core_calc.get_best_runway_and_wind("KJFK")
    assert service.requests == [
        Request("/map/get_weather.php", "icao=KJFK", ["key518204937261840375"]),
        Request("/svc/map/get_weather.php", "icao=KJFK", ["another-key"]),
    ]


def test_empty_key_is_still_sent(service, db_path):
    core_calc.WEATHER_API_KEY = ""
    core_calc.get_best_runway_and_wind("KJFK")
    assert [r.api_keys for r in service.requests] == [[""]]


@pytest.mark.parametrize(
    "code, query",
    [
        ("ZBAA", "icao=ZBAA"),
        ("k-._~9", "icao=K-._~9"),
        ("K JFK", "icao=K%20JFK"),
        ("KJFK&icao=EGLL", "icao=KJFK%26ICAO%3DEGLL"),
        ("KJFK#frag", "icao=KJFK%23FRAG"),
        ("KJFK?x=1/..", "icao=KJFK%3FX%3D1%2F.."),
        ("KJFK\r\nX-Api-Key: stolen", "icao=KJFK%0D%0AX-API-KEY%3A%20STOLEN"),
        ("K%41", "icao=K%2541"),
        ("é", "icao=%C3%89"),
        ("a" * 10000, "icao=" + "A" * 10000),
    ],
)
def test_code_is_percent_encoded_in_the_query(service, db_path, code, query):
    service.reply = Reply(body=report(code.upper(), 240))
    assert core_calc.get_best_runway_and_wind(code) == ([], 240)
    assert service.requests == [
        Request("/map/get_weather.php", query, ["key518204937261840375"])
    ]


def test_key_that_would_split_the_header_sends_nothing(service, runways):
    runways("KJFK", *by_bearing(60, 240))
    core_calc.WEATHER_API_KEY = "key\r\nX-Other: 1"
    assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240"], "N/A")
    assert service.requests == []


# --- No report: every runway in database order with "N/A" ------------------------

NESTED = b'{"KJFK": {"parsed": {"wind": {"direction": ' + b"[" * 100000 + b"]" * 100000 + b"}}}}"


def nested_direction(depth):
    """A report whose direction is an array nested so the whole body has `depth` levels."""
    inner = depth - 4
    return b'{"KJFK": {"parsed": {"wind": {"direction": ' + b"[" * inner + b"]" * inner + b"}}}}"


@pytest.mark.parametrize(
    "reply",
    [
        Reply(status=500, body=report("KJFK", 240)),
        Reply(status=404, body=report("KJFK", 240)),
        Reply(status=302, body=report("KJFK", 240), headers=(("Location", "/elsewhere"),)),
        Reply(body=b"<html>not json</html>"),
        Reply(body=b""),
        Reply(body=report("KJFK", 240)[:-3]),  # JSON cut short
        Reply(body=b'{"KJFK": {"parsed": "wind 240"}}'),
        Reply(body=b'{"KJFK": {"parsed": [240]}}'),
        Reply(body=b'{"KJFK": {"parsed": null}}'),
        Reply(body=b'{"KJFK": {"parsed": {"wind": "240"}}}'),
        Reply(body=b'{"KJFK": "240"}'),
        Reply(body=report("EGLL", 240)),
        Reply(body=b'["KJFK"]'),
        Reply(body=b'"KJFK"'),
        Reply(body=NESTED),
        Reply(body=nested_direction(65)),
        Reply(body=b'{"KJFK": {"parsed": {"wind": {"direction": 240}}}}' + b" " * (1 << 20)),
        Reply(endless=True),
        Reply(raw=b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + report("KJFK", 240)),
        Reply(raw=b"not http at all\r\n\r\n"),
    ],
    ids=[
        "status-500", "status-404", "redirect", "html", "empty-body", "truncated-json",
        "parsed-text", "parsed-list", "parsed-null", "wind-text", "airport-text", "other-airport",
        "top-level-list", "top-level-text", "nested-100000", "nested-65", "over-1MiB",
        "endless-body", "short-transfer", "garbage-response",
    ],
)
def test_unusable_reply_means_no_report(service, runways, reply):
    runways("KJFK", *by_bearing(60, 240, 150))
    service.reply = reply
    assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240", "150"], "N/A")
    assert len(service.requests) == 1  # a redirect is not followed


@pytest.mark.parametrize(
    "body, expected",
    [
        (nested_direction(64), (["60", "240"], "")),  # read, but an array is no direction
        (report("KJFK", 240).ljust(1 << 20), (["240"], 240)),
    ],
    ids=["nested-64", "exactly-1MiB"],
)
def test_replies_at_the_limits_are_read(service, runways, body, expected):
    runways("KJFK", *by_bearing(60, 240))
    service.reply = Reply(body=body)
    assert core_calc.get_best_runway_and_wind("KJFK") == expected


def test_unreachable_service(runways):
    runways("KJFK", *by_bearing(60, 240, 150))
    core_calc.WEATHER_API_URL = f"http://127.0.0.1:{closed_port()}"
    assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240", "150"], "N/A")


def test_silent_service_costs_at_most_the_time_limit(service, runways):
    runways("KJFK", *by_bearing(60, 240))
    service.reply = Reply(body=report("KJFK", 240), delay=30)
    start = time.monotonic()
    result = core_calc.get_best_runway_and_wind("KJFK")
    assert time.monotonic() - start < 4
    assert result == (["60", "240"], "N/A")


def test_file_url_is_not_read(runways, tmp_path):
    runways("KJFK", *by_bearing(60, 240))
    (tmp_path / "map").mkdir()
    (tmp_path / "map" / "get_weather.php").write_bytes(report("KJFK", 240))
    core_calc.WEATHER_API_URL = tmp_path.as_uri()
    assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240"], "N/A")


@pytest.mark.parametrize(
    "url",
    [
        "",
        "127.0.0.1:{port}",
        "//127.0.0.1:{port}",
        "ftp://127.0.0.1:{port}",
        "gopher://127.0.0.1:{port}/_GET%20/map/get_weather.php%3Ficao=KJFK%20HTTP/1.0%0D%0A%0D%0A",
        "http://127.0.0.1:{port}\r\nX-Other: 1",
        "http://127.0.0.1:{port}/a b",
        None,
        42,
        MISSING,
    ],
)
def test_service_url_other_than_http_sends_nothing(service, runways, url):
    runways("KJFK", *by_bearing(60, 240))
    if url is MISSING:
        del core_calc.WEATHER_API_URL
    else:
        core_calc.WEATHER_API_URL = url.format(port=service.port) if isinstance(url, str) else url
    assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240"], "N/A")
    assert service.requests == []


def test_scheme_in_any_letter_case_is_accepted(service, runways):
    runways("KJFK", *by_bearing(60, 240))
    core_calc.WEATHER_API_URL = service.url.replace("http", "HTTP")
    assert core_calc.get_best_runway_and_wind("KJFK") == (["240"], 240)


@pytest.mark.skipif(not shutil.which("openssl"), reason="needs openssl to make a certificate")
def test_untrusted_certificate_is_refused(runways, tmp_path):
    runways("KJFK", *by_bearing(60, 240))
    cert, key = tmp_path / "cert.pem", tmp_path / "key.pem"
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
         "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
         "-keyout", str(key), "-out", str(cert)],
        check=True, capture_output=True,
    )
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = WeatherServer(tls_context=context)
    try:
        # The server itself works for a client that trusts its certificate.
        client = ssl.create_default_context(cafile=str(cert))
        with socket.create_connection(("127.0.0.1", server.port)) as raw:
            with client.wrap_socket(raw, server_hostname="127.0.0.1") as tls:
                tls.sendall(b"GET /map/get_weather.php?icao=TEST HTTP/1.0\r\n\r\n")
                assert tls.recv(64).startswith(b"HTTP/1.0 200")
        core_calc.WEATHER_API_URL = f"https://127.0.0.1:{server.port}"
        assert core_calc.get_best_runway_and_wind("KJFK") == (["60", "240"], "N/A")
        assert [r.query for r in server.requests] == ["icao=TEST"]
    finally:
        server.close()


# --- Runway rows --------------------------------------------------------------------


def test_rows_without_numeric_bearing_are_skipped(service, runways):
    runways(
        "KJFK",
        ("null", None), ("text", "abc"), ("nan", "nan"), ("inf", "inf"), ("blank", ""),
        ("spaced", " 150 "), ("int", 240), ("real", 60.0),
    )
    assert core_calc.get_best_runway_and_wind("KJFK") == (["int", "spaced"], 240)
    service.reply = Reply(status=500)
    assert core_calc.get_best_runway_and_wind("KJFK") == (["spaced", "int", "real"], "N/A")


def test_bearings_stored_beyond_a_full_turn_stay_on_the_circle(service, runways):
    runways("KJFK", ("wrapped", 240 + 360), ("negative", 240 - 360), ("crosswind", 330))
    assert core_calc.get_best_runway_and_wind("KJFK") == (["wrapped", "negative", "crosswind"], 240)
    runways("EGLL", ("tailwind", 60 + 720), ("crosswind", 150))
    service.reply = Reply(body=report("EGLL", 240))
    assert core_calc.get_best_runway_and_wind("EGLL") == (["crosswind"], 240)


def test_runway_identifiers_keep_their_stored_kind(service, runways):
    runways("KJFK", (9, 90), ("27", 270), (31.5, 240))
    service.reply = Reply(status=500)
    result, _ = core_calc.get_best_runway_and_wind("KJFK")
    assert [(r, type(r)) for r in result] == [(9, int), ("27", str), (31.5, float)]


def test_table_suffix_names_the_runway_table(service, runways):
    runways("KJFK", ("plain", 240))
    runways("KJFK", ("alternative", 240), table="tbl_runways_alt")
    core_calc.TABLE_SUFFIX = "_alt"
    assert core_calc.get_best_runway_and_wind("KJFK") == (["alternative"], 240)


@pytest.mark.parametrize("suffix", ["_missing", 5])
def test_failing_runway_query_gives_no_runways_silently(service, runways, capfd, suffix):
    runways("KJFK", ("plain", 240))
    core_calc.TABLE_SUFFIX = suffix
    assert core_calc.get_best_runway_and_wind("KJFK") == ([], 240)
    assert capfd.readouterr() == ("", "")


def test_database_that_cannot_be_opened_raises(service, tmp_path):
    core_calc.DB_PATH = str(tmp_path)  # a directory
    with pytest.raises(sqlite3.OperationalError):
        core_calc.get_best_runway_and_wind("KJFK")
    assert len(service.requests) == 1  # the weather comes first


def test_code_that_is_not_text_raises(service, db_path):
    with pytest.raises(AttributeError):
        core_calc.get_best_runway_and_wind(5)
    assert service.requests == []


def test_calls_print_nothing(service, runways, capfd):
    runways("KJFK", *by_bearing(60, 240))
    for reply in (Reply(body=report("KJFK", 240)), Reply(status=500), Reply(body=b"{")):
        service.reply = reply
        core_calc.get_best_runway_and_wind("KJFK")
    assert capfd.readouterr() == ("", "")


# --- Several host threads at once ---------------------------------------------------


@pytest.mark.concurrency
def test_concurrent_calls_each_get_their_own_wind(service, runways):
    codes = {f"K{i:03d}": 10 * i for i in range(12)}
    for code, wind in codes.items():
        runways(code, ("with", wind), ("against", (wind + 180) % 360))
    service.reply = lambda code: Reply(body=report(code, codes.get(code)), delay=0.2)
    results = {}

    def call(code):
        results[code] = core_calc.get_best_runway_and_wind(code.lower())

    threads = [threading.Thread(target=call, args=(code,)) for code in codes]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == {code: (["with"], wind) for code, wind in codes.items()}
