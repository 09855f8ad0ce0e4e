#!/usr/bin/env python3
"""kacq view in a real browser: headless Chromium loads the page served from
an emulated camera, a screenshot is kept, the image shows frames of the
camera's size, the frame counter advances, and changing Width on the form
gives frames of the new width; a refused value is shown on the page; leaving
the page leaves the server serving; the camera keeps the new width.

usage: view_browser.py KACQ-EMU KACQ OUTPUT-DIR [--bench SECONDS]

With --bench, the camera serves at the transport's fixed port 61696 (on an
address of its own), and the run measures the frames per second the browser
shows at 640 x 480 Mono8, the server's CPU time per shown frame, and then
the rate of `kacq stream` against the same camera as the baseline.
Exit codes: 0 passed, 1 failed, 77 skipped (no usable Chromium; the reason
is printed)."""
import base64
import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
CAMERA = "127.0.63.2"
BENCH_CAMERA = "127.0.66.2"


class Failure(Exception):
    pass


def wait_for_line(proc, pattern, seconds, stream="stdout"):
    """First match of pattern in the process's output within seconds."""
    pipe = getattr(proc, stream)
    deadline = time.monotonic() + seconds
    seen = ""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([pipe], [], [], 0.2)
        if ready:
            line = pipe.readline()
            if not line:
                break
            seen += line
            m = re.search(pattern, line)
            if m:
                return m
    raise Failure("no line matching %r within %ss; got:\n%s" % (pattern, seconds, seen))


class DevTools:
    """A minimal websocket client for the browser's debugging protocol."""

    def __init__(self, url):
        m = re.match(r"ws://([^:/]+):(\d+)(/.*)", url)
        self.sock = socket.create_connection((m.group(1), int(m.group(2))), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: %s:%s\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n"
                           % (m.group(3), m.group(1), m.group(2), key)).encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise Failure("the browser closed the debugging connection")
            reply += chunk
        if b" 101 " not in reply.split(b"\r\n")[0]:
            raise Failure("websocket refused: %r" % reply[:200])
        self.buffer = reply.split(b"\r\n\r\n", 1)[1]
        self.next_id = 0

    def _read(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise Failure("the browser closed the debugging connection")
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def _message(self):
        payload = b""
        while True:
            b0, b1 = self._read(2)
            length = b1 & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            payload += self._read(length)
            if b0 & 0x80:
                return payload.decode()

    def call(self, method, **params):
        self.next_id += 1
        data = json.dumps({"id": self.next_id, "method": method, "params": params}).encode()
        header = bytes([0x81])
        if len(data) < 126:
            header += bytes([0x80 | len(data)])
        elif len(data) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(data))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(data))
        mask = os.urandom(4)
        self.sock.sendall(header + mask + bytes(c ^ mask[i % 4] for i, c in enumerate(data)))
        while True:
            reply = json.loads(self._message())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise Failure("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")


def poll(what, seconds, probe):
    """Calls probe until it answers something true, at most seconds long."""
    deadline = time.monotonic() + seconds
    last = None
    while time.monotonic() < deadline:
        last = probe()
        if last and last[0]:
            return last[1]
        time.sleep(0.2)
    raise Failure("%s: not within %ss (last seen %r)" % (what, seconds, last and last[1]))


PAGE_STATE = """JSON.stringify((() => {
  const img = document.getElementById('frame');
  if (!img || !document.getElementById('frames'))  // the page is not there yet
    return { width: 0, height: 0, frame: 0, shown: 0, counter: 0, formWidth: null, message: '' };
  const w = document.getElementById('f-Width');
  const m = document.getElementById('message');
  return { width: img.naturalWidth, height: img.naturalHeight,
           frame: Number(img.dataset.frame || 0), shown: Number(img.dataset.shown || 0),
           counter: Number(document.getElementById('frames').textContent),
           formWidth: w ? w.value : null, widthMax: w ? w.max : null,
           message: m.hidden ? '' : m.textContent };
})())"""


def set_width(devtools, value):
    devtools.evaluate("""(() => { const i = document.getElementById('f-Width');
        i.value = '%s'; i.dispatchEvent(new Event('change')); return true; })()""" % value)


def stop_view(view):
    """Ctrl-C: the view must close the camera and end with 0 within 10 s."""
    view.send_signal(signal.SIGINT)
    try:
        out, _ = view.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        view.kill()
        view.wait()
        raise Failure("kacq view did not stop within 10 s of SIGINT")
    if "camera closed" not in out or view.returncode != 0:
        raise Failure("kacq view did not stop cleanly (%s): %s" % (view.returncode, out))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def server_frames(url):
    with urllib.request.urlopen(url + "api/status", timeout=10) as r:
        return json.load(r)["frames"]


def measure(devtools, state, view, kacq, camera, env, url, seconds):
    """Browser fps and server CPU per shown frame, then kacq stream's rate."""
    s0, f0, c0, t0 = state()["shown"], server_frames(url), cpu_seconds(view.pid), time.monotonic()
    time.sleep(seconds)
    s1, f1, c1, t1 = state()["shown"], server_frames(url), cpu_seconds(view.pid), time.monotonic()
    shown, grabbed, cpu, elapsed = s1 - s0, f1 - f0, c1 - c0, t1 - t0
    stop_view(view)
    stream = subprocess.run([kacq, "stream", "--seconds", str(seconds), "--device", camera],
                            capture_output=True, text=True, env=env, timeout=seconds + 60)
    print("browser: %d frames shown in %.2f s = %.1f fps" % (shown, elapsed, shown / elapsed))
    print("view server: %d frames grabbed = %.1f fps; CPU %.3f s = %.2f ms per shown frame"
          % (grabbed, grabbed / elapsed, cpu, 1000 * cpu / max(shown, 1)))
    print("kacq stream (baseline, same camera, same run):\n%s%s" % (stream.stdout, stream.stderr))
    return 0 if shown > 0 and stream.returncode == 0 else 1


def run(emu, kacq, outdir, chromium, bench):
    procs = []
    profile = tempfile.mkdtemp(prefix="kacq-view-chromium-")
    view = None
    try:
        camera = BENCH_CAMERA if bench else CAMERA
        e = subprocess.Popen([emu, "--address", camera, "--port", "61696" if bench else "0"],
                             stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
        procs.append(e)
        port = wait_for_line(e, r"camera 0 at [0-9.]+:(\d+)", 10).group(1)

        env = dict(os.environ, GTRANS_DISCOVERY=camera)
        view = subprocess.Popen([kacq, "view", "--device", camera, "--port", port, "--listen",
                                 "127.0.0.1:0"], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, env=env)
        procs.append(view)
        url = wait_for_line(view, r"at (http://127\.0\.0\.1:\d+/)", 15).group(1)

        browser = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--remote-debugging-address=127.0.0.1",
             "--remote-debugging-port=0", "--window-size=1280,1000", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, start_new_session=True)
        procs.append(browser)
        try:
            ws = wait_for_line(browser, r"DevTools listening on (ws://\S+)", 30,
                               stream="stderr").group(1)
        except Failure as error:
            print("SKIP: Chromium does not start here: %s" % error)
            return SKIP
        debug = re.match(r"ws://([^/]+)/", ws).group(1)
        with urllib.request.urlopen("http://%s/json/list" % debug, timeout=10) as r:
            pages = [t for t in json.load(r) if t.get("type") == "page"]
        if not pages:
            raise Failure("the browser shows no page")
        devtools = DevTools(pages[0]["webSocketDebuggerUrl"])
        devtools.call("Page.enable")
        devtools.call("Page.navigate", url=url)

        state = lambda: json.loads(devtools.evaluate(PAGE_STATE))
        first = poll("a 640 x 480 frame and the form", 20, lambda: (
            lambda s: (s["width"] == 640 and s["height"] == 480 and s["frame"] > 0
                       and s["formWidth"] == "640", s))(state()))
        poll("the frame counter advancing", 10, lambda: (
            lambda s: (s["counter"] > first["counter"] and s["frame"] > first["frame"], s))(state()))

        if bench:
            return measure(devtools, state, view, kacq, camera, env, url, bench)

        shot = devtools.call("Page.captureScreenshot", format="png")
        path = os.path.join(outdir, "kacq-view.png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print("screenshot: %s" % path)

        # A refused value: the server's text on the page, nothing changed.
        set_width(devtools, "321")
        poll("the refusal shown on the page", 10, lambda: (
            lambda s: ("321 is not a step of Width" in s["message"] and s["formWidth"] == "640",
                       s))(state()))

        set_width(devtools, "320")
        poll("frames 320 wide after changing Width", 15, lambda: (
            lambda s: (s["width"] == 320 and s["height"] == 480 and s["formWidth"] == "320"
                       and s["message"] == "", s))(state()))
        # Leaving the page mid-request (its frame wait cut off) leaves the
        # server serving: the page comes back with live frames.
        devtools.call("Page.navigate", url="about:blank")
        time.sleep(0.5)
        devtools.call("Page.navigate", url=url)
        poll("live frames after the page was left and opened again", 20, lambda: (
            lambda s: (s["width"] == 320 and s["shown"] >= 2, s))(state()))

        # The setting stays with the camera: kacq get reads it back once the
        # view has closed it.
        stop_view(view)
        got = subprocess.run([kacq, "get", "Width", "--device", camera, "--port", port],
                             capture_output=True, text=True, env=env, timeout=30)
        if got.returncode != 0 or got.stdout != "320\n":
            raise Failure("kacq get Width after the view: %r %r" % (got.stdout, got.stderr))
        print("PASS: 640x480 frames shown, counter advancing, Width 320 gives 320-wide frames,"
              " kept by the camera")
        return 0
    finally:
        if view is not None and view.poll() is None:
            stop_view(view)
        for p in reversed(procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM) if p.args[0] == chromium else p.terminate()
                    p.wait(timeout=10)
                except (subprocess.TimeoutExpired, ProcessLookupError):
                    p.kill()
                    p.wait()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    bench = 0
    if len(sys.argv) == 6 and sys.argv[4] == "--bench":
        bench = float(sys.argv[5])
    elif len(sys.argv) != 4:
        print(__doc__)
        return 2
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("SKIP: no chromium on this machine (scripts/setup.sh installs it)")
        return SKIP
    try:
        return run(sys.argv[1], sys.argv[2], sys.argv[3], chromium, bench)
    except Failure as error:
        print("FAIL: %s" % error)
        return 1


if __name__ == "__main__":
    sys.exit(main())
