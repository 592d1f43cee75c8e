#!/usr/bin/env python3
"""smoke.py -- the Windows build as a player gets it: the zip unpacked, isoclient.exe run under Wine
in an X server of its own, driven with xdotool and checked on screenshots.

The zip is unpacked into a folder whose name no single code page holds.

  1. Double-clicked (no options, the zip's isoclient.ini): full screen, the login screen drawn,
     typed text in the identifier field, Enter into the game screen, Escape ends with status 0.
  2. A picture missing: the error log appears under Err\\ with its dated Chinese name and a code
     page 950 entry; Escape on the error screen ends with status 0.
  3. isoclient.ini naming a Linux isoserver on loopback, windowed at scale 1: it logs in over TLS,
     a player already on the server is told of it, which the server does on its "/ready", and
     known_servers.txt pins the key the server announced.

usage: smoke.py --zip ZIP --server ISOSERVER   (WINEPREFIX set up by scripts/windows.sh)
"""
import argparse
import datetime
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import zipfile

SCREEN_W, SCREEN_H = 1280, 960


def fail(message):
    print(f"smoke: FAILED: {message}", file=sys.stderr)
    sys.exit(1)


def within(seconds, check, step=0.2):
    """Polls check until it gives a true value (returned) or the time is up (None)."""
    end = time.monotonic() + seconds
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() >= end:
            return None
        time.sleep(step)


class Picture:
    """An RGB picture: a screenshot, or a 24-bit BMP as the game ships it."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    @staticmethod
    def screen():
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True).stdout
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        if not m:
            return None
        return Picture(int(m.group(1)), int(m.group(2)), ppm[m.end():])

    @staticmethod
    def bmp(path):
        data = open(path, "rb").read()
        offset, width, height, bits = (int.from_bytes(data[a:b], "little", signed=True)
                                       for a, b in ((10, 14), (18, 22), (22, 26), (28, 30)))
        if bits != 24:
            fail(f"{path}: {bits} bits per pixel, expected 24")
        stride = (width * 3 + 3) & ~3
        rgb = bytearray(width * abs(height) * 3)
        for y in range(abs(height)):
            row = offset + (abs(height) - 1 - y if height > 0 else y) * stride
            for x in range(width):
                b, g, r = data[row + 3 * x:row + 3 * x + 3]
                rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] = bytes((r, g, b))
        return Picture(width, abs(height), rgb)


def close(a, b, tolerance=12):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class View:
    """Where the game's 640 x 480 picture is on the screen: a corner and a whole-number scale."""

    def __init__(self, left, top, scale):
        self.left, self.top, self.scale = left, top, scale

    def pixel(self, shot, x, y):
        s = self.scale
        return shot.at(self.left + x * s + s // 2, self.top + y * s + s // 2)

    def shows(self, shot, picture, area, step=3):
        """Whether the shot shows at least 90 % of the picture's non-black pixels in the area."""
        left, top, right, bottom = area
        wanted = same = 0
        for y in range(top, bottom, step):
            for x in range(left, right, step):
                p = picture.at(x - left, y - top)
                if p != (0, 0, 0):
                    wanted += 1
                    same += close(self.pixel(shot, x, y), p)
        return wanted > 0 and same >= 0.9 * wanted

    def differences(self, a, b, area, step=1):
        left, top, right, bottom = area
        return sum(not close(self.pixel(a, x, y), self.pixel(b, x, y))
                   for y in range(top, bottom, step) for x in range(left, right, step))


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True)


class Client:
    """isoclient.exe under Wine, from an unpacked copy of the zip."""

    def __init__(self, folder, name, *args):
        self.folder, self.name = folder, name
        self.log = open(os.path.join(os.path.dirname(folder), f"{name}.log"), "w")
        self.process = subprocess.Popen(["wine", os.path.join(folder, "isoclient.exe"), *args], cwd=folder,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def window(self):
        """The window's corner and scale once it is mapped, or None."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^isoclient$"], capture_output=True,
                               text=True).stdout.split()
        if not found:
            return None
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[-1]], capture_output=True,
                                  text=True).stdout
        g = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        if not {"X", "Y", "WIDTH", "HEIGHT"} <= g.keys():
            return None   # gone again
        width, height = int(g["WIDTH"]), int(g["HEIGHT"])
        # The picture is scaled with its aspect kept and centred: bars on the longer side.
        scale = min(width // 640, height // 480)
        if scale < 1:
            return None
        self.window_id = found[-1]
        return View(int(g["X"]) + (width - 640 * scale) // 2, int(g["Y"]) + (height - 480 * scale) // 2, scale)

    def focus_and(self, *args):
        xdotool("windowfocus", "--sync", self.window_id)
        xdotool(*args)

    def escape_ends_with_status_0(self):
        # Escape is polled as a held key: hold it for a few frames.
        self.focus_and("keydown", "Escape", "sleep", "0.3", "keyup", "Escape")
        try:
            status = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            fail(f"{self.name}: Escape did not end the program")
        if status != 0:
            fail(f"{self.name}: ended with status {status} (log: {self.log.name})")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def wait_view(client, want, what):
    """The window's view once want(view) holds for it (the window may be resized as it opens)."""
    seen = []

    def check():
        view = client.window()
        if view:
            seen.append((view.left, view.top, view.scale))
        return view if view and want(view) else None

    view = within(60, check)
    if not view:
        client.kill()
        fail(f"{client.name}: {what}; windows seen (left, top, scale): {sorted(set(seen))} (log: {client.log.name})")
    return view


def wait_shot(view, seconds, ready, what, client):
    shot = within(seconds, lambda: (lambda s: s if s and ready(s) else None)(Picture.screen()), 0.3)
    if not shot:
        client.kill()
        fail(f"{client.name}: {what} (log: {client.log.name})")
    return shot


def log_in(client, view, pictures, identifier):
    """Types the identifier (checked to show), then the password, and enters the game."""
    login, panel = pictures["login.bmp"], pictures["s.bmp"]
    before = wait_shot(view, 60, lambda s: view.shows(s, login, (0, 0, 640, 220)), "the login screen did not show",
                       client)
    client.focus_and("mousemove", str(view.left + 40), str(view.top + 40))
    client.focus_and("type", "--delay", "60", identifier)
    field = (266, 229, 400, 257)
    wait_shot(view, 10, lambda s: view.differences(before, s, field) > 40,
              "the typed identifier did not show in its field", client)
    client.focus_and("key", "Return")
    client.focus_and("type", "--delay", "60", "secret")
    client.focus_and("key", "Return")
    return panel


def offline_full_screen(folder, pictures):
    client = Client(folder, "1-double-clicked")
    try:
        view = wait_view(client, lambda v: (v.scale, v.left, v.top) == (2, 0, 0),
                         f"not full screen on the {SCREEN_W} x {SCREEN_H} screen")
        panel = log_in(client, view, pictures, "winplayer")
        wait_shot(view, 30, lambda s: view.shows(s, panel, (0, 380, 640, 480)), "the game screen did not show", client)
        client.escape_ends_with_status_0()
        print("smoke: double-clicked: full screen, login, typed identifier, game screen, Escape: status 0")
    finally:
        client.kill()


def missing_picture(folder, pictures):
    os.remove(os.path.join(folder, "images", "load_full.bmp"))
    started = datetime.datetime.now()
    client = Client(folder, "2-missing-picture", "--windowed")
    try:
        view = wait_view(client, lambda v: True, "no window")
        log_in(client, view, pictures, "winplayer")
        err = os.path.join(folder, "Err")
        logs = within(30, lambda: os.path.isdir(err) and os.listdir(err))
        if not logs or len(logs) != 1:
            fail(f"no single error log file under Err\\ (found {logs})")
        # Year, month, day, "_", hour "時", minute "分", without leading zeros, at the time of the error.
        names = {f"{t.year}{t.month}{t.day}_{t.hour}時{t.minute}分.txt"
                 for t in (started, started + datetime.timedelta(minutes=1), datetime.datetime.now())}
        if logs[0] not in names:
            fail(f"error log named {logs[0]!r}, expected one of {sorted(names)}")
        text = open(os.path.join(err, logs[0]), "rb").read()
        expected = "錯誤編號 : 200\r\n事件描述 : 找不到檔案 : images\\load_full.bmp\r\n" + "-" * 82 + "\r\n"
        if text != expected.encode("cp950"):
            fail(f"error log holds {text!r}, expected {expected.encode('cp950')!r}")
        box = pictures["err.bmp"]
        left, top = 320 - box.width // 2, 240 - box.height // 2
        wait_shot(view, 10, lambda s: view.shows(s, box, (left, top, left + box.width, top + box.height)),
                  "the error screen did not show", client)
        client.escape_ends_with_status_0()
        print(f"smoke: missing picture: Err\\{logs[0]} in code page 950, error screen, Escape: status 0")
    finally:
        client.kill()
        shutil.copy(os.path.join(folder, "..", "pristine-load_full.bmp"), os.path.join(folder, "images", "load_full.bmp"))


class Watcher:
    """A player on the server before the client comes: the server tells it of each newcomer."""

    def __init__(self, port):
        # Over TLS like the client, without a check of the key (the client's own check is tested).
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        self.sock = context.wrap_socket(socket.create_connection(("127.0.0.1", port), timeout=10))
        self.sock.setblocking(False)
        self.received = b""
        self.sock.sendall(b"/ver 0.1 beta/e//id watcher/e//pass pw/e/")
        if not within(15, lambda: self.poll() and b"/plstart " in self.received):
            fail(f"the watcher was not let in: {self.received!r}")
        self.sock.sendall(b"/ready /e/")

    def poll(self):
        try:
            while chunk := self.sock.recv(65536):
                self.received += chunk
        except (BlockingIOError, ssl.SSLWantReadError):
            pass
        return True


def on_line(folder, pictures, server):
    output = open(os.path.join(os.path.dirname(folder), "isoserver.log"), "w+")
    # Accounts in memory, made at the first login, with the cheapest hashes.
    process = subprocess.Popen([server, "--port", "0", "--register", "open", "--db", ":memory:", "--hash-ops", "1",
                                "--hash-memory", "8", "--map", os.path.join(folder, "data", "testmap.map")],
                               stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.PIPE)
    client = None
    try:
        port = within(15, lambda: (lambda m: int(m.group(1)) if m else None)(
            re.search(r"127\.0\.0\.1:(\d+)\s", open(output.name).read())))
        if not port:
            fail("isoserver did not say its port")
        key = re.search(r"TLS, key (SHA256:[0-9a-f]{64})", open(output.name).read())
        if not key:
            fail("isoserver did not say it speaks TLS with its key")
        watcher = Watcher(port)
        with open(os.path.join(folder, "isoclient.ini"), "w", newline="\r\n") as ini:
            ini.write(f"; written by the smoke test\nserver = 127.0.0.1:{port}\nfullscreen = no\nscale = 1\n")
        client = Client(folder, "3-on-line")
        view = wait_view(client, lambda v: v.scale == 1, "isoclient.ini's window at scale 1 did not open")
        panel = log_in(client, view, pictures, "winplayer")
        told = within(30, lambda: watcher.poll() and re.search(rb"/setpl (\d+)\\winplayer/e/", watcher.received))
        if not told:
            fail(f"the server did not take the client's /ready (watcher got {watcher.received!r})")
        wait_shot(view, 30, lambda s: view.shows(s, panel, (0, 380, 640, 480)), "the on-line game screen did not show",
                  client)
        client.escape_ends_with_status_0()
        pins = open(os.path.join(folder, "known_servers.txt")).read() if os.path.exists(
            os.path.join(folder, "known_servers.txt")) else ""
        if pins != f"127.0.0.1:{port} {key.group(1)}\n":
            fail(f"known_servers.txt should pin the server's key {key.group(1)}, holds {pins!r}")
        print(f"smoke: isoclient.ini: windowed at scale 1, logged in over TLS to isoserver on port {port} as player "
              f"{told.group(1).decode()}, its key pinned in known_servers.txt, Escape: status 0")
    finally:
        if client:
            client.kill()
        process.kill()
        process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--server", required=True)
    options = parser.parse_args()
    if not os.environ.get("ISO_SMOKE_IN_X"):
        # Again, inside an X server of its own with the screen a 640 x 480 picture fills twice.
        os.environ["ISO_SMOKE_IN_X"] = "1"
        command = ["xvfb-run", "-a", "-s", f"-screen 0 {SCREEN_W}x{SCREEN_H}x24", sys.executable, *sys.argv]
        sys.exit(subprocess.run(command).returncode)
    if not os.environ.get("WINEPREFIX"):
        fail("WINEPREFIX is not set (run through scripts/windows.sh --test)")

    work = tempfile.mkdtemp(prefix="isoclient-smoke-")
    zipfile.ZipFile(options.zip).extractall(work)
    # Unpacked where a player might put it: a folder name outside Wine's code page (1252 here), so
    # every path the program takes must go through the wide-character functions.
    folder = os.path.join(work, "我的遊戲 ü")
    os.rename(os.path.join(work, "isoclient"), folder)
    pictures = {name: Picture.bmp(os.path.join(folder, "images", name)) for name in ("login.bmp", "s.bmp", "err.bmp")}
    shutil.copy(os.path.join(folder, "images", "load_full.bmp"), os.path.join(work, "pristine-load_full.bmp"))
    offline_full_screen(folder, pictures)
    missing_picture(folder, pictures)
    on_line(folder, pictures, os.path.abspath(options.server))
    shutil.rmtree(work)
    print("smoke: passed")


if __name__ == "__main__":
    main()
