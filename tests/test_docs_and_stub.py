"""help(core_calc) and the type stub describe the module the host actually gets."""
import ast
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
    """Parameter names of a native function, from pybind11's signature line."""
    first = obj.__doc__.splitlines()[0]
    inside = first[first.index("(") + 1:first.rindex(")")]
    return [part.split(":")[0].strip() for part in inside.split(", ") if part]


def test_stub_parameters_are_the_module_parameters():
    _, parameters = stub_definitions()
    for name, stub_params in parameters.items():
        if not hasattr(core_calc, name):
            continue
        assert stub_params == signature_parameters(getattr(core_calc, name)), name
