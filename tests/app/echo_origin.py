#!/usr/bin/env python3
"""An origin web server on 127.0.0.1 that tells what reached it (a test tool).

  echo_origin.py PORT LOG

Answers every GET with a small text page: the path, then each request header as "name: value", then
"client-address: " and the address the connection came from, so that a test sees which proxy a
request came through (its Via header, or the address a SOCKS server leaves from). Each request is also appended
to LOG as one line: the path and the Via header.
"""
import http.server
import socketserver
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        lines = ["path: " + self.path] + [f"{name}: {value}" for name, value in self.headers.items()]
        lines.append("client-address: " + self.client_address[0])
        body = ("\n".join(lines) + "\n").encode("latin-1", "replace")
        with open(sys.argv[2], "a") as log:
            log.write(f"{self.path} via={self.headers.get('Via', '-')}\n")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


if __name__ == "__main__":
    Server(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
