#!/usr/bin/env python3
"""Lets a test under Wine stop one of the fixture's peers, as a proxy that dies would, or hang it, as
an overloaded one does (a test tool).

  peer_control.py PORT STATE_DIR NAME...

Answers GET /stop/NAME for the NAMEs given: the PID in STATE_DIR/NAME.pid is ended when it still runs
tinyproxy (the fixture started it), and the answer is "stopped NAME". GET /pause/NAME and /resume/NAME
send that process SIGSTOP and SIGCONT (its listen queue still takes connections while it is paused),
answering "paused NAME" and "resumed NAME". Anything else gets 404.
"""
import http.server
import os
import signal
import sys
import time


def fixture_tinyproxy(name):
    """The PID of the fixture's tinyproxy NAME, or None."""
    try:
        pid = int(open(os.path.join(sys.argv[2], name + ".pid")).read().strip())
        with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
            return pid if b"tinyproxy" in cmdline.read() else None
    except (OSError, ValueError):
        return None


def send(name, which):
    pid = fixture_tinyproxy(name)
    if pid is None:
        return False
    try:
        os.kill(pid, which)
    except OSError:
        return False
    return True


def stop(name):
    pid_file = os.path.join(sys.argv[2], name + ".pid")
    pid = fixture_tinyproxy(name)
    if pid is None:
        return False
    try:
        # A paused proxy takes its SIGTERM only once it runs again.
        os.kill(pid, signal.SIGCONT)
        os.kill(pid, signal.SIGTERM)
    except OSError:
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
        actions = {
            "stop": ("stopped", stop),
            "pause": ("paused", lambda name: send(name, signal.SIGSTOP)),
            "resume": ("resumed", lambda name: send(name, signal.SIGCONT)),
        }
        _, action, name = (self.path.split("/", 2) + ["", ""])[:3]
        if action not in actions or name not in sys.argv[3:] or not actions[action][1](name):
            self.send_error(404)
            return
        body = (actions[action][0] + " " + name + "\n").encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)


http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
