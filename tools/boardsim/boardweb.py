#!/usr/bin/env python3
"""The board's web interface, served on loopback.

Three servers, each on a free port of 127.0.0.1:
  board    the board's own pages behind HTTP Basic authentication (user "quorl", the board password);
           "/" links to "/frames" (a page whose frame navigates to another board address), to "/status"
           and to the foreign server's "/private";
  foreign  a page elsewhere that asks for credentials and never accepts any;
  proxy    an HTTP proxy that demands proxy credentials (407) for every request and forwards nothing.

Every request is counted and, with --log, written to a file as one JSON object per line (server,
method, path, host header, Authorization, Proxy-Authorization), so tests can see who received
which credentials.

The board simulator imports BoardWeb and sets the password it should accept. Run on its own:
  boardweb.py [--password PW] [--log FILE]
prints "board=127.0.0.1:P foreign=127.0.0.1:P proxy=127.0.0.1:P" on one line and serves until it
is stopped by its process id.
"""

import argparse
import base64
import html
import json
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

USER = "quorl"
HOST = "127.0.0.1"


class RequestLog:
    """Counts requests per server and appends each to an optional log file."""

    def __init__(self, path=None):
        self._lock = threading.Lock()
        self._path = path
        self.counts = {"board": 0, "foreign": 0, "proxy": 0}

    def record(self, server, handler):
        entry = {
            "server": server,
            "method": handler.command,
            "path": handler.path,
            "host": handler.headers.get("Host", ""),
            "authorization": handler.headers.get("Authorization"),
            "proxy_authorization": handler.headers.get("Proxy-Authorization"),
        }
        with self._lock:
            self.counts[server] += 1
            if self._path:
                with open(self._path, "a", encoding="utf-8") as log:
                    log.write(json.dumps(entry) + "\n")


class _Handler(BaseHTTPRequestHandler):
    # One request per connection keeps the log's order the order the engine asked in.
    protocol_version = "HTTP/1.0"
    web = None  # the BoardWeb this handler class serves
    role = ""

    def log_message(self, *args):
        pass

    def _send(self, code, body, headers=()):
        data = body.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.web.log.record(self.role, self)
        getattr(self, "serve_" + self.role)()

    def serve_board(self):
        if not self.web.authorized(self.headers.get("Authorization")):
            self._send(401, page("Access denied", "<p>The board refused the sign-in.</p>"),
                       [("WWW-Authenticate", 'Basic realm="Quorlane board"')])
            return
        pages = {
            "/": page("Board", f"""<p>Signed in to the board.</p>
<p><a id="frames" href="/frames">Frames</a> <a id="status" href="/status">Status</a>
<a id="foreign" href="http://{self.web.foreign_address}/private">Elsewhere</a></p>"""),
            "/frames": page("Frames", '<iframe id="inner" name="inner" src="/frame/first"></iframe>'),
            # The frame moves on by itself, as a board's status frame does.
            "/frame/first": page("First frame", "<script>location.href = '/frame/second';</script>"),
            "/frame/second": page("Second frame", "<p>Frame moved on.</p>"),
            "/status": page("Status", f"<p>Status page, served {self.web.log.counts['board']} requests.</p>"),
        }
        body = pages.get(self.path.split("?")[0])
        if body is None:
            self._send(404, page("Not found", "<p>No such page on the board.</p>"))
        else:
            self._send(200, body)

    def serve_foreign(self):
        self._send(401, page("Elsewhere", "<p>A page elsewhere that wants credentials.</p>"),
                   [("WWW-Authenticate", 'Basic realm="Elsewhere"')])

    def serve_proxy(self):
        self._send(407, page("Proxy", "<p>The proxy wants credentials.</p>"),
                   [("Proxy-Authenticate", 'Basic realm="Proxy"')])


def page(title, body):
    return (f"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>{html.escape(title)}</title></head>"
            f"<body>{body}</body></html>")


class BoardWeb:
    """The three servers, started together on free loopback ports."""

    def __init__(self, password="", log_path=None):
        self._lock = threading.Lock()
        self._password = password
        self.log = RequestLog(log_path)
        self._servers = {}
        self._threads = []

    @property
    def password(self):
        with self._lock:
            return self._password

    @password.setter
    def password(self, value):
        with self._lock:
            self._password = value

    def authorized(self, header):
        if not header or not header.startswith("Basic "):
            return False
        try:
            user, _, password = base64.b64decode(header[6:], validate=True).decode("utf-8").partition(":")
        except ValueError:
            return False
        return user == USER and password == self.password

    def _address(self, role):
        return f"{HOST}:{self._servers[role].server_address[1]}"

    @property
    def address(self):
        return self._address("board")

    @property
    def foreign_address(self):
        return self._address("foreign")

    @property
    def proxy_address(self):
        return self._address("proxy")

    def start(self):
        for role in ("board", "foreign", "proxy"):
            handler = type(role + "Handler", (_Handler,), {"web": self, "role": role})
            server = ThreadingHTTPServer((HOST, 0), handler)
            server.daemon_threads = True
            self._servers[role] = server
            thread = threading.Thread(target=server.serve_forever, daemon=True)
            thread.start()
            self._threads.append(thread)
        return self

    def stop(self):
        for server in self._servers.values():
            server.shutdown()
            server.server_close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--password", default="", help="the board password the board accepts")
    parser.add_argument("--log", help="append one JSON line per request to this file")
    args = parser.parse_args()
    web = BoardWeb(args.password, args.log).start()
    print(f"board={web.address} foreign={web.foreign_address} proxy={web.proxy_address}", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    sys.exit(main())
