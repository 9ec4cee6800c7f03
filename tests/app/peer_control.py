#!/usr/bin/env python3
"""Lets a test under Wine stop one of the fixture's peers, as a proxy that dies would (a test tool).

  peer_control.py PORT STATE_DIR NAME...

Answers GET /stop/NAME for the NAMEs given: the PID in STATE_DIR/NAME.pid is ended when it still runs
tinyproxy (the fixture started it), and the answer is "stopped NAME". Anything else gets 404.
"""
import http.server
import os
import signal
import sys
import time


def stop(name):
    pid_file = os.path.join(sys.argv[2], name + ".pid")
    try:
        pid = int(open(pid_file).read().strip())
        with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
            if b"tinyproxy" not in cmdline.read():
                return False
        os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        return False
    for _ in range(50):
        if not os.path.exists("/proc/%d" % pid):
            break
        time.sleep(0.1)
    os.remove(pid_file)
    return True


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        name = self.path[len("/stop/"):] if self.path.startswith("/stop/") else ""
        if name not in sys.argv[3:] or not stop(name):
            self.send_error(404)
            return
        body = ("stopped " + name + "\n").encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)


http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
