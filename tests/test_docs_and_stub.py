"""help(core_calc) and the type stub describe the module the host actually gets."""
import ast
import inspect
import os
import pydoc
import re

import pytest

import core_calc

STUB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "module",
                    "core_calc.pyi")
CLASSES = ("SpatialGrid", "RouteNetwork")
RECORDS = ("Airport", "Procedure", "Approach")


def module_names():
    return [n for n in vars(core_calc) if not n.startswith("__")]


def callables():
    """(qualified name, object) of every callable the host reaches: functions,
    classes, their public methods and properties."""
    found = []
    for name in module_names():
        value = getattr(core_calc, name)
        if not callable(value):
            continue
        found.append((name, value))
        if name in CLASSES:
            for member, attribute in vars(value).items():
                if not member.startswith("_"):
                    found.append((f"{name}.{member}", attribute))
    return found


def own_text(obj):
    """The docstring without the signature line pybind11 puts first."""
    doc = obj.__doc__ or ""
    return re.sub(r"\A\w+\(.*\) -> .*\n\n?", "", doc).strip()


@pytest.mark.parametrize("name, obj", callables(), ids=lambda v: v if isinstance(v, str) else "")
def test_every_callable_says_what_it_does(name, obj):
    text = own_text(obj)
    assert len(text) > 30, f"{name} has no docstring of its own: {obj.__doc__!r}"
    if name in RECORDS:
        assert not re.fullmatch(rf"{name}\([\w, ]*\)", text)  # not namedtuple's default


def test_help_shows_the_docstrings():
    text = pydoc.render_doc(core_calc, renderer=pydoc.plaintext)
    for phrase in ("Reads GLOBAL_NETWORK", "safe from any number of threads",
                   "Writes recommendeddep and recommendedarr", "Great-circle distance in km"):
        assert phrase in text


def stub_definitions():
    """Top-level names of the stub and the parameter names of its functions."""
    tree = ast.parse(open(STUB, encoding="utf-8").read())
    names, parameters = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            names.add(node.target.id)
        elif isinstance(node, ast.Assign):
            names.update(t.id for t in node.targets)
        if isinstance(node, ast.FunctionDef):
            parameters.setdefault(node.name, [a.arg for a in node.args.args])
    return names, parameters


def test_stub_covers_the_module_and_nothing_else():
    names, _ = stub_definitions()
    runtime = set(module_names())
    assert runtime - names == set()
    # Names only the stub has are its annotation helpers, all private.
    assert all(n.startswith("_") for n in names - runtime)


def signature_parameters(obj):
    """Parameter names of a native function as registered, from the signature line
    pybind11 writes into the docstring of the function it made."""
    first = getattr(obj, "__wrapped__", obj).__doc__.splitlines()[0]
    inside = first[first.index("(") + 1:first.rindex(")")]
    return [part.split(":")[0].strip() for part in inside.split(", ") if part]


def test_stub_parameters_are_the_module_parameters():
    _, parameters = stub_definitions()
    for name, stub_params in parameters.items():
        if not hasattr(core_calc, name):
            continue
        assert stub_params == signature_parameters(getattr(core_calc, name)), name


def test_help_shows_the_typed_signatures_without_binding_noise():
    text = pydoc.render_doc(core_calc.plan_for_api, renderer=pydoc.plaintext).splitlines()
    assert text[2].startswith("plan_for_api(dep_icao: str, arr_icao: str, batch_size: int = 20, "
                              "forced_sid: str | None = None")
    assert text[2].endswith(") -> _PlanResult | None")
    assert text[3].strip().startswith("Plans a route")
    module = pydoc.render_doc(core_calc, renderer=pydoc.plaintext)
    assert "method of" not in module and ": object" not in module
    assert "build_direct_sid(icao: str, lat: float, lon: float, radius: float = 100.0, k: int = 12)" in module
    assert "add_point(self, wp: Hashable, lat: float, lon: float) -> None" in module


@pytest.mark.parametrize("name", ["plan_for_api", "a_star", "route_fms", "build_direct_star"])
def test_signatures_agree_with_the_registration(name):
    """Defaults and names of inspect.signature are those the native function applies."""
    function = getattr(core_calc, name)
    signature = inspect.signature(function)
    assert list(signature.parameters) == signature_parameters(function)
    first = function.__wrapped__.__doc__.splitlines()[0]
    for parameter in signature.parameters.values():
        if parameter.default is not parameter.empty:
            assert f"{parameter.name}: object = {parameter.default!r}" in first
