#!/usr/bin/env python3
"""A stand-in for the proxy list service, for tests and script/run (a tool, not part of the product).

Command line:
    python3 tools/list-service/list-service.py [--host 127.0.0.1] [--port 0] [--port-file FILE]
        [--pid-file FILE] [--proxies-file FILE] [--mode MODE] [--stall-seconds 30]
        [--big-mib 10] [--lifetime SECONDS] [--https-port 0 --https-port-file FILE --cert PEM --key PEM]
        [--plain-list NAME=FILE ...] [PROXY ...]

Serves GET /services/vx/proxy/sortedproxylist.txt with the proxies given as arguments and/or in
--proxies-file (one piece per line; blank lines and lines starting with '#' are skipped), each piece
followed by "<br />" and a line break, the way the real service writes them. A piece is host:port,
"->", the country, optionally " <supports POST>".

GET /services/vx/proxy/proxygenerator.asp is counted; each request prints "generator request N".

MODE says how the list path answers: list (the default), 404 (an error page whose text is cut by
"<br />" like a list), close-mid-body (Content-Length of the whole list, half of it sent, then the
connection closed), stall (headers and part of the body, then nothing for --stall-seconds), big
(--big-mib MiB of generated pieces), empty (200 with no body).

GET /services/vx/proxy/judge is the proxy judge: a JSON object {"remote_addr": "...", "query": "...",
"headers": [["Name", "value"], ...]} with the address the request came from, its query string and
every header as received, in order. GET /services/vx/proxy/judge.txt (or the judge with
?format=env) answers the same as the plain-text environment echo public judges serve: lines
"REMOTE_ADDR = ...", "QUERY_STRING = ...", "REQUEST_METHOD = ..." and "HTTP_<NAME> = value" per header
(upper case, "-" as "_").

With --cert and --key the same pages are also served over HTTPS on --https-port (0: the system
chooses; written to --https-port-file). Each --plain-list NAME=FILE serves FILE as it is at
/lists/NAME.txt, a plain-text proxy list.

Control paths, for tests: /control/mode?set=MODE, /control/stats (prints "list=N generator=N
mode=MODE"), /control/reset (counts back to 0, mode back to the start mode).

Port 0 lets the system choose; the port is printed as "listening HOST:PORT" and written to
--port-file when given. The server listens on loopback unless --host says otherwise, and ends by
itself after --lifetime seconds when that is above 0 (tests pass one; script/run may leave it 0).
"""

import argparse
import json
import os
import select
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

LIST_PATH = "/services/vx/proxy/sortedproxylist.txt"
GENERATOR_PATH = "/services/vx/proxy/proxygenerator.asp"
JUDGE_PATH = "/services/vx/proxy/judge"
JUDGE_TEXT_PATH = "/services/vx/proxy/judge.txt"
MODES = ("list", "404", "close-mid-body", "stall", "big", "empty")
SEPARATOR = "<br />"


class State:
    def __init__(self, pieces, mode, stall_seconds, big_mib, plain_lists=None):
        self.lock = threading.Lock()
        self.plain_lists = plain_lists or {}
        self.pieces = pieces
        self.start_mode = mode
        self.mode = mode
        self.stall_seconds = stall_seconds
        self.big_mib = big_mib
        self.list_requests = 0
        self.generator_requests = 0
        self._big = None

    def list_body(self):
        return "".join(piece + SEPARATOR + "\r\n" for piece in self.pieces).encode("latin-1")

    def big_body(self):
        if self._big is None:
            target = self.big_mib * 1024 * 1024
            parts = []
            size = 0
            n = 0
            while size < target:
                piece = "10.%d.%d.%d:8080->Bigland%s\r\n" % ((n >> 16) & 255, (n >> 8) & 255, n & 255, SEPARATOR)
                parts.append(piece)
                size += len(piece)
                n += 1
            self._big = "".join(parts).encode("latin-1")
        return self._big


def make_handler(state):
    class Handler(BaseHTTPRequestHandler):
        server_version = "ListService/1.0"

        def log_message(self, format, *args):  # noqa: A002 - the base class's name
            pass

        def send_text(self, status, body, length=None):
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Cache-Control", "no-cache")
            self.send_header("Connection", "close")
            self.send_header("Content-Length", str(len(body) if length is None else length))
            self.end_headers()

        def do_GET(self):
            url = urlsplit(self.path)
            if url.path == LIST_PATH:
                self.serve_list()
            elif url.path == JUDGE_PATH and parse_qs(url.query).get("format", [""])[0] != "env":
                self.serve_judge_json(url)
            elif url.path in (JUDGE_PATH, JUDGE_TEXT_PATH):
                self.serve_judge_env(url)
            elif url.path.startswith("/lists/") and url.path.endswith(".txt"):
                path = state.plain_lists.get(url.path[len("/lists/"):-len(".txt")])
                if path is None:
                    self.send_text(404, b"no such list\n")
                    self.wfile.write(b"no such list\n")
                    return
                with open(path, "rb") as source:
                    body = source.read()
                self.send_text(200, body)
                self.wfile.write(body)
            elif url.path == GENERATOR_PATH:
                with state.lock:
                    state.generator_requests += 1
                    count = state.generator_requests
                print("generator request %d" % count, flush=True)
                body = b"<html>generated</html>"
                self.send_text(200, body)
                self.wfile.write(body)
            elif url.path == "/control/mode":
                mode = parse_qs(url.query).get("set", [""])[0]
                if mode not in MODES:
                    self.send_text(400, b"unknown mode\n")
                    self.wfile.write(b"unknown mode\n")
                    return
                with state.lock:
                    state.mode = mode
                body = ("mode=%s\n" % mode).encode()
                self.send_text(200, body)
                self.wfile.write(body)
            elif url.path == "/control/stats":
                with state.lock:
                    body = ("list=%d generator=%d mode=%s\n" % (
                        state.list_requests, state.generator_requests, state.mode)).encode()
                self.send_text(200, body)
                self.wfile.write(body)
            elif url.path == "/control/reset":
                with state.lock:
                    state.list_requests = 0
                    state.generator_requests = 0
                    state.mode = state.start_mode
                self.send_text(200, b"reset\n")
                self.wfile.write(b"reset\n")
            else:
                body = b"no such page\n"
                self.send_text(404, body)
                self.wfile.write(body)

        def serve_judge_json(self, url):
            answer = {
                "remote_addr": self.client_address[0],
                "query": url.query,
                "headers": [[name, value] for name, value in self.headers.items()],
            }
            body = json.dumps(answer).encode("utf-8")
            self.send_text(200, body)
            self.wfile.write(body)

        def serve_judge_env(self, url):
            lines = ["REMOTE_ADDR = %s" % self.client_address[0],
                     "REMOTE_PORT = %d" % self.client_address[1],
                     "REQUEST_METHOD = %s" % self.command,
                     "REQUEST_URI = %s" % url.path,
                     "QUERY_STRING = %s" % url.query]
            for name, value in self.headers.items():
                lines.append("HTTP_%s = %s" % (name.upper().replace("-", "_"), value))
            body = ("\n".join(lines) + "\n").encode("latin-1", "replace")
            self.send_text(200, body)
            self.wfile.write(body)

        def serve_list(self):
            with state.lock:
                state.list_requests += 1
                mode = state.mode
            if mode == "404":
                body = (b"<html><body>Not Found" + SEPARATOR.encode() + b"\r\nThe page null" +
                        SEPARATOR.encode() + b"\r\nerror:404->Nowhere" + SEPARATOR.encode() + b"\r\n</body></html>")
                self.send_text(404, body)
                self.wfile.write(body)
            elif mode == "empty":
                self.send_text(200, b"")
            elif mode == "big":
                body = state.big_body()
                self.send_text(200, body)
                self.wfile.write(body)
            elif mode == "close-mid-body":
                body = state.list_body()
                self.send_text(200, body, length=len(body))
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                self.close_now()
            elif mode == "stall":
                body = state.list_body()
                self.send_text(200, body, length=len(body))
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                self.stall()
                self.close_now()
            else:
                body = state.list_body()
                self.send_text(200, body)
                self.wfile.write(body)

        def stall(self):
            # Wait, sending nothing, until the client gives up or the stall time is over.
            deadline = time.monotonic() + state.stall_seconds
            while time.monotonic() < deadline:
                readable, _, _ = select.select([self.connection], [], [], 0.2)
                if readable:
                    try:
                        if not self.connection.recv(4096):
                            return
                    except OSError:
                        return

        def close_now(self):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    return Handler


class Server(ThreadingHTTPServer):
    # Judge tests connect by the hundred at once; the default queue of 5 would drop their SYNs.
    request_queue_size = 256


class TlsHTTPServer(Server):
    """The same pages over TLS. The handshake runs on the request's own thread, so that a client that
    connects and says nothing (or only a ClientHello) holds up nobody else."""

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def finish_request(self, request, client_address):
        request.settimeout(10)
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (OSError, ValueError):
            return
        super().finish_request(request, client_address)


def read_proxies_file(path):
    pieces = []
    with open(path, encoding="latin-1") as lines:
        for line in lines:
            line = line.rstrip("\r\n")
            if line.strip() and not line.startswith("#"):
                pieces.append(line)
    return pieces


def write_file_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w") as out:
        out.write(text)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description="Stand-in proxy list service for tests and script/run.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--pid-file")
    parser.add_argument("--proxies-file")
    parser.add_argument("--mode", choices=MODES, default="list")
    parser.add_argument("--stall-seconds", type=float, default=30.0)
    parser.add_argument("--big-mib", type=int, default=10)
    parser.add_argument("--lifetime", type=float, default=0.0)
    parser.add_argument("--https-port", type=int, default=0)
    parser.add_argument("--https-port-file")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--plain-list", action="append", default=[], metavar="NAME=FILE")
    parser.add_argument("proxies", nargs="*")
    args = parser.parse_args()

    pieces = list(args.proxies)
    if args.proxies_file:
        pieces += read_proxies_file(args.proxies_file)
    plain_lists = {}
    for entry in args.plain_list:
        name, _, path = entry.partition("=")
        if not name or not path:
            parser.error("--plain-list wants NAME=FILE, not %r" % entry)
        plain_lists[name] = path
    state = State(pieces, args.mode, args.stall_seconds, args.big_mib, plain_lists)

    server = Server((args.host, args.port), make_handler(state))
    server.daemon_threads = True
    host, port = server.server_address[:2]
    tls_server = None
    if args.cert and args.key:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        tls_server = TlsHTTPServer((args.host, args.https_port), make_handler(state), context)
        tls_server.daemon_threads = True
        https_port = tls_server.server_address[1]
        if args.https_port_file:
            write_file_atomically(args.https_port_file, "%d\n" % https_port)
        print("listening https %s:%d" % (host, https_port), flush=True)
        threading.Thread(target=tls_server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    if args.pid_file:
        write_file_atomically(args.pid_file, "%d\n" % os.getpid())
    if args.port_file:
        write_file_atomically(args.port_file, "%d\n" % port)
    print("listening %s:%d" % (host, port), flush=True)

    if args.lifetime > 0:
        timer = threading.Timer(args.lifetime, server.shutdown)
        timer.daemon = True
        timer.start()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
        if tls_server is not None:
            tls_server.shutdown()
            tls_server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
