#!/usr/bin/env python3
"""Origin web server for the relay's integration tests, on 127.0.0.1 only.

  origin_server.py PORT [CERT KEY]   (with CERT and KEY it speaks TLS)

GET /bytes/N   N bytes of the pattern i % 251
POST /crc      answers "LENGTH CRC32" of the body it read by Content-Length
GET /page      an HTML page with script and object tags in mixed case, written in small pieces
GET /peer      the address the request came from
GET /gallery   an HTML page naming the address it was asked from, with 12 pictures a script counts
               as they load (for a real browser; the pictures keep their connections open)
"""
import http.server
import socketserver
import ssl
import sys
import time
import zlib

BLOCK = bytes(i % 251 for i in range(251 * 4096))

PAGE = (b"<html><head><ScRiPt src='a.js'></sCrIpT><SCRIPT>var x = 1;</SCRIPT></head>"
        b"<body>Keep This Text<OBJECT data='m.swf'></Object>" + b"-" * 5000 + b"</body></html>")


# A transparent picture of one pixel.
PIXEL = (b"GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00"
         b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")
PICTURES = 12


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith("/bytes/"):
            size = int(self.path[len("/bytes/"):])
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.send_header("Connection", "close")
            self.end_headers()
            sent = 0
            while sent < size:
                piece = BLOCK[:min(len(BLOCK), size - sent)]
                self.wfile.write(piece)
                sent += len(piece)
        elif self.path == "/peer":
            # The address the request came from: which proxy it left through.
            body = self.client_address[0].encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
        elif self.path == "/gallery":
            body = ("<html><body><p id=peer>%s</p><p id=loaded>0</p><script>var n = 0;"
                    "function one() { document.getElementById('loaded').textContent = ++n; }</script>%s"
                    "</body></html>" % (self.client_address[0], "".join(
                        "<img src='/pixel/%d.gif' onload='one()'>" % i for i in range(PICTURES)))).encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path.startswith("/pixel/"):
            self.send_response(200)
            self.send_header("Content-Type", "image/gif")
            self.send_header("Content-Length", str(len(PIXEL)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(PIXEL)
        elif self.path.startswith("/slow/"):
            # A head at once, then one byte every tenth of a second: an answer that has started and
            # takes its time.
            size = int(self.path[len("/slow/"):])
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.flush()
            for at in range(size):
                self.wfile.write(BLOCK[at:at + 1])
                self.wfile.flush()
                time.sleep(0.1)
        elif self.path == "/page":
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=iso-8859-1")
            self.send_header("Content-Length", str(len(PAGE)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.flush()
            # Pieces of 5 bytes cut every tag somewhere; each goes out on its own.
            for at in range(0, len(PAGE), 5):
                self.wfile.write(PAGE[at:at + 5])
                self.wfile.flush()
                if at % 500 == 0:
                    time.sleep(0.001)
        else:
            self.send_error(404)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        crc = 0
        left = length
        while left > 0:
            piece = self.rfile.read(min(left, 65536))
            if not piece:
                break
            crc = zlib.crc32(piece, crc)
            left -= len(piece)
        answer = ("%d %d" % (length - left, crc)).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(answer)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(answer)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    request_queue_size = 512
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
    if len(sys.argv) == 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
