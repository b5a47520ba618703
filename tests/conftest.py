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
    namespace = vars(core_calc)
    same = list(namespace) == list(saved) and all(namespace[k] is v for k, v in saved.items())
    if not same:  # put back values and their order
        namespace.clear()
        namespace.update(saved)


@pytest.fixture
def db_path(tmp_path, monkeypatch):
    """An empty navigation database file that DB_PATH points to."""
    path = tmp_path / "nav.db"
    sqlite3.connect(path).close()
    core_calc.DB_PATH = str(path)
    return path
