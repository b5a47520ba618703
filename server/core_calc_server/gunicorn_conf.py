"""gunicorn settings of the service, for running gunicorn by hand:

    gunicorn -c python:core_calc_server.gunicorn_conf \
        'core_calc_server:create_app("data/demo.db")'

The same settings python -m core_calc_server uses: the app (and with it the network)
loaded in the master, the collector's objects frozen before each fork, uvicorn
workers, no control socket (it sits at one path per user, shared by every instance).
"""
import gc

bind = "127.0.0.1:8080"
workers = 2
worker_class = "uvicorn_worker.UvicornWorker"
preload_app = True
keepalive = 5
timeout = 120
graceful_timeout = 10
control_socket_disable = True


def pre_fork(server, worker):
    """Moves every object the master holds out of the collector's reach, so a
    collection in a worker does not write to (and so copy) the pages they sit on."""
    gc.freeze()


def when_ready(server):
    for listener in server.LISTENERS:
        host, port = listener.sock.getsockname()[:2]
        print(f"listening on {host}:{port}", flush=True)
