"""The module as a host sees it: attributes, records, signatures and load rules."""
import ctypes
import importlib
import inspect
import os
import subprocess
import sys
import textwrap
import types

import pytest

import core_calc

INITIAL_ATTRIBUTES = [
    ("DB_PATH", "nav.db"),
    ("ORI_DB_PATH", "nav_ori.db"),
    ("first_arr", None),
    ("last_dep", None),
    ("recommendeddep", "N/A"),
    ("recommendedarr", "N/A"),
    ("AIRWAY_META", {}),
    ("GLOBAL_NETWORK", None),
    ("IGNORE_AIRWAY_DIRECTION", False),
    ("TABLE_SUFFIX", ""),
    ("_tn", ...),
    ("EARTH_RADIUS", 6371),
    ("GRID_SIZE", 1.0),
    ("MAX_CONNECTOR_DIST", 25),
    ("DYNAMIC_CONNECTOR_FACTOR", 0.2),
    ("BASE_CONNECTOR_DIST", 100),
    ("SID_JOIN_RADIUS", 5.0),
    ("SID_JOIN_RADIUS_FALLBACK", 60.0),
    ("SID_BEARING_LIMIT", 110),
    ("SID_BEARING_LIMIT_OFF", 180),
    ("DIRECT_SID_NAME", "DCT"),
    ("DIRECT_CONNECT_RADIUS", 100.0),
    ("DIRECT_ARR_NAME", "DIRECT"),
    ("DIRECT_ENTRY_CANDIDATES", 12),
    ("Airport", ...),
    ("Procedure", ...),
    ("Approach", ...),
    ("CURRENT_PLAN_STATUS", "none"),
    ("CURRENT_PLAN_INFO", "无计划"),
    ("API_SERVER_READY", False),
    ("API_STARTUP_ERROR", None),
    ("WEATHER_API_URL", ""),
    ("WEATHER_API_KEY", "key518204937261840375"),
]

CALLABLES = [
    ("get_img_path", "pic_name"),
    ("vectorized_haversine", "lat1, lon1, lat2, lon2"),
    ("get_bearing", "lat1, lon1, lat2, lon2"),
    ("get_turn_angle", "p_lat, p_lon, c_lat, c_lon, n_lat, n_lon"),
    ("SpatialGrid", ""),
    ("RouteNetwork", ""),
    ("init_network", ""),
    ("a_star", "start, end, target_lat=None, target_lon=None, initial_prev_coord=None, "
     "penalized_edges=None"),
    ("build_procedures_from_db", "icao, table_name, runway=None"),
    ("build_iaps_from_db", "icao, runway"),
    ("connect_to_network", "lat, lon, segment_length"),
    ("process_combination", "sid, star, available_iaps, dep, arr, skip_bearing_check=False, "
     "penalized_edges=None, join_radius=None, bearing_limit=None"),
    ("get_airport_ref_coord", "icao"),
    ("build_direct_sid", "icao, lat, lon, radius=100.0, k=12"),
    ("build_direct_star", "icao, lat, lon, radius=100.0, k=12"),
    ("get_best_runway_and_wind", "icao_code"),
    ("process_batch", "args"),
    ("generate_flight_plan", "dep_icao, arr_icao, batch_size=20, forced_sid=None, "
     "forced_star=None, forced_iap=None, forced_dep_rwy=None, forced_arr_rwy=None"),
    ("format_for_api", "plan"),
    ("import_navdata", "sources, db_path, progress=None"),
]


def test_extension_is_the_module_itself():
    assert core_calc.__file__.endswith(".so")
    assert os.path.basename(core_calc.__file__).startswith("core_calc.cpython-311")
    assert not hasattr(core_calc, "__path__")


def test_attributes_and_callables_appear_in_load_order():
    names = [n for n in vars(core_calc) if not n.startswith("__") and n != "_profile_init_network"
             and not n.startswith("_a_star")]
    expected = [n for n, _ in INITIAL_ATTRIBUTES] + [n for n, _ in CALLABLES]
    assert [n for n in names if n in expected] == expected


@pytest.mark.parametrize("name,value", [(n, v) for n, v in INITIAL_ATTRIBUTES if v is not ...])
def test_initial_values(name, value):
    assert getattr(core_calc, name) == value
    assert type(getattr(core_calc, name)) is type(value)


@pytest.mark.parametrize("record,fields", [
    ("Airport", ("icao", "lat", "lon")),
    ("Procedure", ("airport", "name", "points")),
    ("Approach", ("name", "runway", "initial_fix", "points")),
])
def test_records_behave_as_named_tuples(record, fields):
    cls = getattr(core_calc, record)
    assert cls._fields == fields
    values = tuple(range(len(fields)))
    by_keyword = cls(**dict(zip(fields, values)))
    assert by_keyword == cls(*values) == values
    assert tuple(by_keyword) == values and by_keyword[0] == getattr(by_keyword, fields[0])
    with pytest.raises(AttributeError):
        setattr(by_keyword, fields[0], 99)


def _parameters_text(obj):
    """Parameter list as pybind11 writes it in the docstring of the function it made
    (the native callable behind the typed one help() shows)."""
    target = obj.__init__ if isinstance(obj, type) else obj
    doc = getattr(target, "__wrapped__", target).__doc__ or ""
    first = doc.splitlines()[0] if doc else ""
    inside = first[first.index("(") + 1:first.rindex(")")] if "(" in first else ""
    params = []
    for part in inside.split(", "):
        part = part.strip()
        if not part or part.startswith("self"):
            continue
        name = part.split(":")[0].strip()
        default = part.split("=", 1)[1].strip() if "=" in part else None
        params.append(name if default is None else f"{name}={default}")
    return ", ".join(params)


@pytest.mark.parametrize("name,params", CALLABLES)
def test_signatures(name, params):
    assert _parameters_text(getattr(core_calc, name)) == params


@pytest.mark.parametrize("call", [
    lambda: core_calc.get_bearing(1, 2, 3),
    lambda: core_calc.get_bearing(1, 2, 3, 4, 5),
    lambda: core_calc.build_iaps_from_db("ABCD"),
    lambda: core_calc.generate_flight_plan(),
    lambda: core_calc.format_for_api(plan=None, extra=1),
])
def test_wrong_argument_counts_are_type_errors_naming_the_function(call):
    with pytest.raises(TypeError) as err:
        call()
    assert err.value.args[0].split("(")[0] in {n for n, _ in CALLABLES}


def test_arguments_by_name():
    assert core_calc.get_bearing(lat2=1, lon2=0, lat1=0, lon1=0) == 0.0
    assert core_calc.vectorized_haversine(lat1=0, lon1=0, lat2=0, lon2=0) == 0.0


def test_tn_reads_suffix_at_call_time():
    assert core_calc._tn("tbl_iaps") == "tbl_iaps"
    core_calc.TABLE_SUFFIX = "_2024"
    assert core_calc._tn("tbl_iaps") == "tbl_iaps_2024"
    with pytest.raises(TypeError):
        core_calc._tn(5)
    del core_calc.TABLE_SUFFIX
    with pytest.raises(NameError, match="TABLE_SUFFIX"):
        core_calc._tn("tbl_iaps")


def test_get_img_path(monkeypatch, tmp_path):
    monkeypatch.chdir(tmp_path)
    assert core_calc.get_img_path("a.png") == os.path.join(os.path.abspath("."), "a.png")
    (tmp_path / "b.png").write_text("")
    monkeypatch.setattr(sys, "_MEIPASS", "/bundle", raising=False)
    assert core_calc.get_img_path("b.png") == os.path.join("/bundle", "b.png")


def test_direct_defaults_are_taken_at_load():
    core_calc.DIRECT_CONNECT_RADIUS = 5.0
    core_calc.DIRECT_ENTRY_CANDIDATES = 1
    assert "radius=100.0, k=12" in _parameters_text(core_calc.build_direct_sid)


def test_reimport_returns_the_same_module_with_its_attributes():
    core_calc.GRID_SIZE = 2.5
    del sys.modules["core_calc"]
    try:
        again = importlib.import_module("core_calc")
    finally:
        sys.modules["core_calc"] = core_calc
    assert again is core_calc and again.GRID_SIZE == 2.5


def test_executing_into_another_module_object_is_refused():
    lib = ctypes.PyDLL(core_calc.__file__)
    lib.PyInit_core_calc.restype = ctypes.c_void_p
    definition = lib.PyInit_core_calc()
    other = types.ModuleType("core_calc")
    exec_def = ctypes.pythonapi.PyModule_ExecDef
    exec_def.argtypes = [ctypes.py_object, ctypes.c_void_p]
    exec_def.restype = ctypes.c_int
    with pytest.raises(RuntimeError) as err:
        exec_def(other, definition)
    assert str(err.value) == ("Module 'core_calc' has already been imported. "
                              "Re-initialisation is not supported.")


def test_second_interpreter_is_refused(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    out = tmp_path / "out.txt"
    code = textwrap.dedent(f"""
        try:
            import core_calc
            result = "imported"
        except ImportError as e:
            result = str(e)
        open({str(out)!r}, "w").write(result)
    """)
    testcapi.run_in_subinterp(code)
    assert out.read_text() == ("Interpreter change detected - this module can only be loaded "
                               "into one interpreter per process.")


def test_diagnostics_reach_the_hosts_stdout_in_order(capsys, tmp_path):
    core_calc.DB_PATH = str(tmp_path / "missing.db")
    print("before")
    core_calc.init_network()
    print("after")
    assert capsys.readouterr().out.splitlines() == [
        "before",
        "🚀 [System] Initializing airway network (Unique Nodes)...",
        f"Error: Database file '{tmp_path / 'missing.db'}' not found.",
        "after",
    ]


def test_fresh_interpreter_state():
    out = subprocess.run(
        [sys.executable, "-c",
         "import core_calc as c; print(c.GLOBAL_NETWORK, c.AIRWAY_META, c.recommendeddep, "
         "c.recommendedarr)"],
        capture_output=True, text=True, check=True).stdout
    assert out.split() == ["None", "{}", "N/A", "N/A"]
