#!/usr/bin/env python3
"""Real browser profiles for the cleaning tests, written by Debian's chromium and firefox-esr.

Both browsers run headless against pages this script serves on loopback (every host name resolves to
127.0.0.1 inside the browsers): they visit pages of two sites, fill and send a form and take cookies
from both; each browser gets a bookmark and a second profile. What a headless browser never writes by
itself (saved passwords, a sign-in token, Firefox's form history) is added to its own files with its own
schema, between the browser's runs, so that the browser opens those files again afterwards.

    make-profiles.py <out dir>

writes <out dir>/chromium (a User Data folder, Linux layout), <out dir>/firefox (profiles.ini and the
profiles) and <out dir>/firefox-cache (their caches), then <out dir>/ready with the site port.
"""
import http.server
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

FINAL = os.path.abspath(sys.argv[1])
# The browsers run in a folder below /tmp: Chromium's single-instance socket cannot be made on every
# file system a build tree may be on, and it quits at once without it.
OUT = tempfile.mkdtemp(prefix="vestrel-profiles-")
SEEN = []
SEEN_LOCK = threading.Condition()

PAGE = """<html><head><title>Page %(path)s</title>
<link rel="icon" href="/icon.png"></head><body>
<h1>%(host)s %(path)s</h1>
<form action="/sent" method="get"><input name="q" id="q"><input type="submit" id="s"></form>
<script>
if (location.pathname == '/form') {
  document.getElementById('q').value = 'vestrel secret';
  setTimeout(function () { document.forms[0].requestSubmit(); }, 200);
}
</script></body></html>"""

# A 1x1 PNG, for the favicon tables.
ICON = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
                     "0000000d49444154789c6360f8cfc0f01f0005000201e2b4a7a10000000049454e44ae426082")


class Site(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        host = self.headers.get("Host", "").split(":")[0]
        path = self.path.split("?")[0]
        if path == "/icon.png":
            body, kind = ICON, "image/png"
        else:
            body, kind = (PAGE % {"host": host, "path": path}).encode(), "text/html"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Cache-Control", "max-age=86400")
        if kind == "text/html":
            self.send_header("Set-Cookie", "sid=%s; Max-Age=864000; Path=/" % path.strip("/"))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        with SEEN_LOCK:
            SEEN.append((host, self.path))
            SEEN_LOCK.notify_all()

    def log_message(self, *args):
        pass


def wait_for(host, path, seconds=30):
    end = time.time() + seconds
    with SEEN_LOCK:
        while not any(h == host and p.startswith(path) for h, p in SEEN):
            left = end - time.time()
            if left <= 0:
                raise SystemExit("make-profiles: the browser never asked for %s%s (asked: %s)" % (host, path, SEEN))
            SEEN_LOCK.wait(left)


CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--no-first-run", "--disable-gpu", "--password-store=basic",
                  "--host-resolver-rules=MAP * 127.0.0.1", "--remote-debugging-pipe"]


def chromium(profile, urls, last):
    """Runs chromium on `urls` (one tab each: headless takes one on its command line, the others come
    through the DevTools pipe) until the page `last` was asked for, then closes it the way a
    user would (the DevTools pipe's Browser.close), so that it writes its databases out."""
    read_end, to_browser = os.pipe()
    from_browser, write_end = os.pipe()
    read_end, write_end = os.dup2(read_end, 20), os.dup2(write_end, 21)

    def pipes():
        os.dup2(read_end, 3)
        os.dup2(write_end, 4)
        os.set_inheritable(3, True)
        os.set_inheritable(4, True)

    args = ["chromium"] + CHROMIUM_FLAGS + ["--user-data-dir=" + os.path.join(OUT, "chromium"),
                                            "--profile-directory=" + profile, urls[0]]
    browser = subprocess.Popen(args, preexec_fn=pipes, close_fds=False, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env=dict(os.environ, HOME=os.path.join(OUT, "home")))
    os.close(read_end)
    os.close(write_end)
    try:
        for number, url in enumerate(urls[1:], start=2):
            message = {"id": number, "method": "Target.createTarget", "params": {"url": url}}
            os.write(to_browser, json.dumps(message).encode() + b"\0")
        wait_for(*last)
        time.sleep(2)  # the form's entry and the visits are saved a moment after the page came
        os.write(to_browser, json.dumps({"id": 100, "method": "Browser.close"}).encode() + b"\0")
        browser.wait(60)
    finally:
        if browser.poll() is None:
            browser.kill()
            browser.wait()
        os.close(to_browser)
        os.close(from_browser)


def firefox(name, url, last):
    home = os.path.join(OUT, "home")
    browser = subprocess.Popen(["firefox-esr", "--headless", "--no-remote", "--profile", firefox_profile_folder(name), url],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, HOME=home))
    try:
        wait_for(*last)
        # A new profile's first start goes on well after the page came (its databases, its defaults).
        time.sleep(8)
        # Firefox quits in order on SIGTERM, writing its session and databases.
        browser.send_signal(signal.SIGTERM)
        browser.wait(60)
    finally:
        if browser.poll() is None:
            browser.kill()
            browser.wait()


def chromium_bookmark(profile, url):
    path = os.path.join(OUT, "chromium", profile, "Bookmarks")
    node = lambda i, name, children: {"children": children, "date_added": "13300000000000000", "id": str(i),
                                      "name": name, "type": "folder"}
    bookmarks = {"roots": {"bookmark_bar": node(1, "Bookmarks bar", [
        {"date_added": "13300000000000000", "id": "4", "name": "Kept page", "type": "url", "url": url}]),
        "other": node(2, "Other bookmarks", []), "synced": node(3, "Mobile bookmarks", [])}, "version": 1}
    with open(path, "w") as f:
        json.dump(bookmarks, f)


def chromium_extras(profile):
    folder = os.path.join(OUT, "chromium", profile)
    with sqlite3.connect(os.path.join(folder, "Login Data")) as db:
        db.execute("INSERT INTO logins (origin_url, action_url, username_element, username_value, password_element,"
                   " password_value, signon_realm, date_created, blacklisted_by_user, scheme)"
                   " VALUES ('http://www.kept.test/', '', 'user', 'vestrel', 'pass', x'00', 'http://www.kept.test/',"
                   " 13300000000000000, 0, 0)")
    with sqlite3.connect(os.path.join(folder, "Web Data")) as db:
        db.execute("INSERT INTO token_service (service, encrypted_token) VALUES ('AccountId-vestrel', x'0102')")


def firefox_root():
    """Where Firefox put profiles.ini: ~/.mozilla/firefox, or ~/.config/mozilla/firefox in newer ones."""
    home = os.path.join(OUT, "home")
    for folder in (os.path.join(home, ".config", "mozilla", "firefox"), os.path.join(home, ".mozilla", "firefox")):
        if os.path.exists(os.path.join(folder, "profiles.ini")):
            return folder
    raise SystemExit("make-profiles: Firefox wrote no profiles.ini")


def firefox_profile_folder(name):
    ini = os.path.join(firefox_root(), "profiles.ini")
    section = {}
    for line in open(ini):
        line = line.strip()
        if line.startswith("["):
            section = {}
        elif "=" in line:
            key, value = line.split("=", 1)
            section[key] = value
            if section.get("Name") == name and "Path" in section:
                return os.path.join(firefox_root(), section["Path"])
    raise SystemExit("make-profiles: no profile %s in profiles.ini" % name)


def firefox_extras(name, url):
    folder = firefox_profile_folder(name)
    with sqlite3.connect(os.path.join(folder, "places.sqlite")) as db:
        place = db.execute("SELECT id FROM moz_places WHERE url = ?", (url,)).fetchone()[0]
        toolbar = db.execute("SELECT id FROM moz_bookmarks WHERE guid = 'toolbar_____'").fetchone()[0]
        position = db.execute("SELECT count(*) FROM moz_bookmarks WHERE parent = ?", (toolbar,)).fetchone()[0]
        now = int(time.time() * 1000000)
        db.execute("INSERT INTO moz_bookmarks (type, fk, parent, position, title, dateAdded, lastModified, guid)"
                   " VALUES (1, ?, ?, ?, 'Kept page', ?, ?, 'vestrelkept1')", (place, toolbar, position, now, now))
        db.execute("UPDATE moz_places SET foreign_count = foreign_count + 1 WHERE id = ?", (place,))
    history = os.path.join(folder, "formhistory.sqlite")
    if not os.path.exists(history):
        # Headless Firefox sends the form without keeping its entry: the file as Firefox makes it.
        with sqlite3.connect(history) as db:
            db.executescript("""
                CREATE TABLE moz_formhistory (id INTEGER PRIMARY KEY, fieldname TEXT NOT NULL, value TEXT NOT NULL,
                  timesUsed INTEGER, firstUsed INTEGER, lastUsed INTEGER, guid TEXT);
                CREATE TABLE moz_deleted_formhistory (id INTEGER PRIMARY KEY, timeDeleted INTEGER, guid TEXT);
                CREATE TABLE moz_sources (id INTEGER PRIMARY KEY, source TEXT NOT NULL);
                CREATE TABLE moz_history_to_sources (history_id INTEGER, source_id INTEGER,
                  PRIMARY KEY (history_id, source_id));
                PRAGMA user_version = 6;""")
            db.execute("INSERT INTO moz_formhistory (fieldname, value, timesUsed, firstUsed, lastUsed, guid)"
                       " VALUES ('q', 'vestrel secret', 1, 1, 1, 'vestrelform1')")
    with open(os.path.join(folder, "logins.json"), "w") as f:
        json.dump({"nextId": 2, "logins": [{"id": 1, "hostname": "http://www.kept.test", "httpRealm": None,
                                            "formSubmitURL": "http://www.kept.test", "usernameField": "user",
                                            "passwordField": "pass", "encryptedUsername": "MD",
                                            "encryptedPassword": "MD", "guid": "{vestrel-login}", "encType": 1,
                                            "timeCreated": 1, "timeLastUsed": 1, "timePasswordChanged": 1,
                                            "timesUsed": 1}], "version": 3}, f)


def main():
    try:
        make()
    finally:
        if not os.environ.get("VESTREL_KEEP_PROFILES_WORK"):
            shutil.rmtree(OUT, ignore_errors=True)


def make():
    os.makedirs(os.path.join(OUT, "home"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    port = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    site = lambda host, path: "http://%s:%d%s" % (host, port, path)

    # Chromium: Default visits both sites and sends the form; a bookmark is added while it is closed, then
    # it runs again. A second profile visits the other site.
    chromium("Default", [site("www.kept.test", "/form"), site("other.test", "/one")], ("www.kept.test", "/sent"))
    chromium_bookmark("Default", site("www.kept.test", "/form"))
    chromium_extras("Default")
    chromium("Default", [site("other.test", "/two"), site("kept.test", "/three")], ("kept.test", "/three"))
    chromium("Profile 1", [site("other.test", "/second-profile")], ("other.test", "/second-profile"))

    # Firefox: two profiles made by Firefox itself (profiles.ini and all).
    home = os.path.join(OUT, "home")
    for name in ("vestrel-one", "vestrel-two"):
        subprocess.run(["firefox-esr", "--headless", "-CreateProfile", name], check=True, env=dict(os.environ, HOME=home),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name in ("vestrel-one", "vestrel-two"):
        with open(os.path.join(firefox_profile_folder(name), "user.js"), "w") as f:
            f.write('user_pref("network.dns.forceResolve", "127.0.0.1");\n'
                    'user_pref("browser.shell.checkDefaultBrowser", false);\n')
    firefox("vestrel-one", site("www.kept.test", "/form"), ("www.kept.test", "/sent"))
    firefox_extras("vestrel-one", site("www.kept.test", "/form"))
    firefox("vestrel-one", site("other.test", "/two"), ("other.test", "/two"))
    firefox("vestrel-two", site("other.test", "/second-profile"), ("other.test", "/second-profile"))
    for leftover in ("SingletonLock", "SingletonSocket", "SingletonCookie"):
        path = os.path.join(OUT, "chromium", leftover)
        if os.path.lexists(path):
            os.unlink(path)
    server.shutdown()
    shutil.rmtree(FINAL, ignore_errors=True)
    os.makedirs(FINAL)
    shutil.copytree(os.path.join(OUT, "chromium"), os.path.join(FINAL, "chromium"), symlinks=True)
    shutil.copytree(firefox_root(), os.path.join(FINAL, "firefox"), symlinks=True)
    cache = os.path.join(home, ".cache", "mozilla", "firefox")
    if os.path.isdir(cache):
        shutil.copytree(cache, os.path.join(FINAL, "firefox-cache"), symlinks=True)
    shutil.rmtree(OUT, ignore_errors=True)
    with open(os.path.join(FINAL, "ready"), "w") as f:
        f.write("%d\n" % port)


if __name__ == "__main__":
    main()
