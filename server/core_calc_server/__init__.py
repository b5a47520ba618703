"""The flight-plan service on core_calc: FastAPI on a pre-fork server (see app, serve).

    pip install .[server]
    python -m core_calc_server --db data/demo.db --workers 2 --port 8080
"""
from .app import create_app

__all__ = ["create_app"]
