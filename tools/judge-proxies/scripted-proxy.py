#!/usr/bin/env python3
"""Misbehaving peers for the judge tests (a tool, not part of the product).

    scripted-proxy.py inject PORT BIND_ADDRESS [--lifetime SECONDS]
        An HTTP proxy that forwards absolute-form GET requests from BIND_ADDRESS and appends a
        <script> to every body it passes on (Content-Length fixed up), as proxies that inject
        advertising do. CONNECT is refused with 403.
    scripted-proxy.py silent PORT [--lifetime SECONDS]
        A port that never answers a connect: it listens with no room in its queue and fills the
        queue itself, so that further connects wait until the caller gives up.

Listens on 127.0.0.1 and ends by itself after --lifetime seconds when above 0.
"""

import argparse
import http.client
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

INJECTED = b'<script src="http://ads.invalid/a.js"></script>\n'


def make_injector(bind_address):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, format, *args):  # noqa: A002 - the base class's name
            pass

        def do_CONNECT(self):
            self.send_error(403, "tunnels not allowed")

        def do_GET(self):
            url = urlsplit(self.path)
            if url.scheme != "http" or not url.hostname:
                self.send_error(400, "absolute http URL wanted")
                return
            headers = {name: value for name, value in self.headers.items()
                       if name.lower() not in ("proxy-connection", "connection", "keep-alive")}
            target = url.path + ("?" + url.query if url.query else "")
            try:
                upstream = http.client.HTTPConnection(url.hostname, url.port or 80, timeout=20,
                                                      source_address=(bind_address, 0))
                upstream.request("GET", target or "/", headers=headers)
                answer = upstream.getresponse()
                body = answer.read() + INJECTED
                status = answer.status
                reason = answer.reason
                passed = [(n, v) for n, v in answer.getheaders()
                          if n.lower() not in ("content-length", "transfer-encoding", "connection")]
                upstream.close()
            except OSError as error:
                self.send_error(502, str(error))
                return
            self.send_response(status, reason)
            for name, value in passed:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)

    return Handler


class Server(ThreadingHTTPServer):
    # Judge tests connect by the hundred at once; the default queue of 5 would drop their SYNs.
    request_queue_size = 256


def run_silent(port, lifetime):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(0)
    # Fill the queue: with no accept, the kernel then drops further SYNs and connects hang.
    fillers = []
    for _ in range(4):
        filler = socket.socket()
        filler.setblocking(False)
        filler.connect_ex(("127.0.0.1", port))
        fillers.append(filler)
    print("silent on 127.0.0.1:%d" % port, flush=True)
    end = time.monotonic() + lifetime if lifetime > 0 else None
    while end is None or time.monotonic() < end:
        time.sleep(0.5)
    return 0


def main():
    parser = argparse.ArgumentParser(description="Misbehaving peers for the judge tests.")
    parser.add_argument("mode", choices=("inject", "silent"))
    parser.add_argument("port", type=int)
    parser.add_argument("bind_address", nargs="?", default="127.0.0.1")
    parser.add_argument("--lifetime", type=float, default=0.0)
    args = parser.parse_args()
    if args.mode == "silent":
        return run_silent(args.port, args.lifetime)
    server = Server(("127.0.0.1", args.port), make_injector(args.bind_address))
    server.daemon_threads = True
    if args.lifetime > 0:
        timer = threading.Timer(args.lifetime, server.shutdown)
        timer.daemon = True
        timer.start()
    print("injecting proxy on 127.0.0.1:%d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
