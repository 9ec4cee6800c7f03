#!/usr/bin/env python3
"""A front end before a judge, as the public httpbin has one (a tool for tests, not part of the product).

    judge-front.py --backend-port P [--port-file F] [--https-port-file F --cert PEM --key PEM]
        [--lifetime SECONDS]

Listens on 127.0.0.1 (port 0: the system chooses; written to --port-file, and the HTTPS one to
--https-port-file) and passes every request on to the judge at 127.0.0.1:P, adding what the public
front end adds: X-Forwarded-For (the peer's address appended to any the request carried),
X-Forwarded-Proto, X-Forwarded-Port and X-Amzn-Trace-Id. The judge's answer goes back as it came.
"""

import argparse
import http.client
import os
import ssl
import sys
import threading
import time
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOP_BY_HOP = {"connection", "keep-alive", "proxy-connection", "transfer-encoding", "upgrade", "te"}


def make_handler(backend_port, scheme):
    class Front(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            headers = {}
            forwarded = None
            for name, value in self.headers.items():
                if name.lower() in HOP_BY_HOP:
                    continue
                if name.lower() == "x-forwarded-for":
                    forwarded = value
                    continue
                headers[name] = value
            peer = self.client_address[0]
            headers["X-Forwarded-For"] = f"{forwarded}, {peer}" if forwarded else peer
            headers["X-Forwarded-Proto"] = scheme
            headers["X-Forwarded-Port"] = str(self.server.server_address[1])
            headers["X-Amzn-Trace-Id"] = "Root=1-" + uuid.uuid4().hex[:8] + "-" + uuid.uuid4().hex[:24]
            # A proxy sends the absolute form; the judge wants the path.
            path = self.path
            if "://" in path:
                after_scheme = path.split("://", 1)[1]
                path = "/" + after_scheme.split("/", 1)[1] if "/" in after_scheme else "/"
            try:
                backend = http.client.HTTPConnection("127.0.0.1", backend_port, timeout=10)
                backend.request("GET", path, headers=headers)
                answer = backend.getresponse()
                body = answer.read()
            except OSError:
                self.send_error(502)
                return
            self.send_response(answer.status)
            for name, value in answer.getheaders():
                if name.lower() not in HOP_BY_HOP and name.lower() != "content-length":
                    self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
            self.close_connection = True

    return Front


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256


class TlsServer(Server):
    """The handshake runs on the request's own thread, so that a silent client holds up nobody else."""

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


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def write_port(path, port):
    if path:
        with open(path + ".tmp", "w") as f:
            f.write(f"{port}\n")
        os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--backend-port", type=int, required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--https-port", type=int, default=0)
    parser.add_argument("--https-port-file")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--lifetime", type=float, default=0)
    args = parser.parse_args()

    plain = Server(("127.0.0.1", args.port), make_handler(args.backend_port, "http"))
    serve(plain)
    if args.cert and args.key:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        secure = TlsServer(("127.0.0.1", args.https_port), make_handler(args.backend_port, "https"), context)
        serve(secure)
        write_port(args.https_port_file, secure.server_address[1])
    write_port(args.port_file, plain.server_address[1])
    print(f"front end on 127.0.0.1:{plain.server_address[1]} before 127.0.0.1:{args.backend_port}", flush=True)
    if args.lifetime > 0:
        time.sleep(args.lifetime)
    else:
        threading.Event().wait()


if __name__ == "__main__":
    sys.exit(main())
