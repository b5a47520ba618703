import os
import sqlite3
import sys

import pytest

import core_calc

sys.path.insert(0, os.path.dirname(__file__))


@pytest.fixture(autouse=True)
def restore_module_attributes():
    """Every test may rebind module attributes; they are put back afterwards."""
    saved = dict(vars(core_calc))
    yield
    for name in list(vars(core_calc)):
        if name not in saved:
            delattr(core_calc, name)
    for name, value in saved.items():
        if vars(core_calc).get(name, object()) is not value:
            setattr(core_calc, name, value)


@pytest.fixture
def db_path(tmp_path, monkeypatch):
    """An empty navigation database file that DB_PATH points to."""
    path = tmp_path / "nav.db"
    sqlite3.connect(path).close()
    core_calc.DB_PATH = str(path)
    return path
