"""The exported web page in a real browser: headless Chromium opens pages that
`bleeptone export-html` wrote, from files, and is driven over its debugging
port on the loopback address (the DevTools protocol through python3-websocket).

- The selftest (#selftest=SECONDS: the page's own worklet in an
  OfflineAudioContext at 44,100 Hz) gives the SHA-256 of the native render
  (`bleeptone render --format f32 --seconds SECONDS`) for all four demos.
- Play starts, the playing time runs and the playhead moves through the
  notes; Stop stops; Space plays and stops; a tune that ends stops by itself;
  a context at another rate (#rate=48000) plays through the resampler.
- Copy MML hands the clipboard the text of `bleeptone export-mml`.
- At a phone's width nothing sticks out sideways.

BLEEPTONE_NATIVE names the program (build/dev/app/bleeptone); CHROMIUM the
browser (/usr/bin/chromium). BLEEPTONE_SCREENSHOT=FILE.png also saves a
picture of Demo 1's page while it plays (the README's).
"""

import base64
import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.request

import websocket

NATIVE = os.environ.get("BLEEPTONE_NATIVE", "build/dev/app/bleeptone")
CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
SELFTEST_SECONDS = {1: "40", 2: "2.5", 3: "15", 4: "40"}  # whole demos; 2.5 s rounds as the command line does
PATIENCE = 60.0  # seconds to wait for what must come (the page never needs that long)


class Browser:
    """One headless Chromium and its first page, over the DevTools protocol."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="bleeptone-chromium-")
        # The flags this machine needs (no sandbox as root, no network
        # chatter), and audio without a gesture from a person.
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + self.profile, "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             "--autoplay-policy=no-user-gesture-required", "--window-size=1000,900", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = self._port()
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=PATIENCE))
        page = next(t for t in targets if t["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=PATIENCE,
                                                  suppress_origin=True)
        self.next_id = 0
        self.call("Page.enable")

    def _port(self):
        # Port 0: Chromium picks a free one and writes it into the profile.
        active = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + PATIENCE
        while time.monotonic() < deadline:
            if os.path.exists(active):
                with open(active) as f:
                    lines = f.read().split()
                if lines:
                    return int(lines[0])
            if self.process.poll() is not None:
                raise RuntimeError("chromium exited with status %d" % self.process.returncode)
            time.sleep(0.05)
        raise RuntimeError("chromium opened no debugging port")

    def close(self):
        self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})

    def js(self, expression):
        """The value of a JavaScript expression (promises awaited), as a person's gesture."""
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True,
                           userGesture=True)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def open(self, path, fragment=""):
        self.call("Page.navigate", url="file://" + os.path.abspath(path) + fragment)
        self.wait_for("document.readyState === 'complete' && !!window.bleeptonePlayer")

    def wait_for(self, expression, what=None):
        """Polls until the expression is truthy; returns its value."""
        deadline = time.monotonic() + PATIENCE
        while time.monotonic() < deadline:
            try:
                value = self.js(expression)
            except RuntimeError:
                value = None  # the page is still being replaced
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError("waited in vain for %s" % (what or expression))

    def key(self, key, code, text=""):
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=key, code=code, text=text if kind == "keyDown" else "",
                      windowsVirtualKeyCode=32 if key == " " else 0)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))


def native(*args):
    return subprocess.run([NATIVE, *args], check=True, capture_output=True).stdout


browser = None
work = None


def setUpModule():
    global browser, work
    work = tempfile.mkdtemp(prefix="bleeptone-page-test-")
    for n in range(1, 5):
        native("export-html", "--demo", str(n), "-o", os.path.join(work, "demo%d.html" % n))
    # A tune of two seconds, to hear it end (a project made through Paste MML).
    short = os.path.join(work, "short.mmlp")
    subprocess.run([NATIVE, "import-mml", "-", "-o", short], input=b'CH1Verse_1.s = "l4 cdef"\n', check=True)
    native("export-html", short, "-o", os.path.join(work, "short.html"))
    browser = Browser()


def tearDownModule():
    browser.close()
    shutil.rmtree(work, ignore_errors=True)


def page(name):
    return os.path.join(work, name + ".html")


# What a test reads of the page: the player's state, the frame heard, the
# time shown and where each channel's playhead mark stands.
STATE = """(() => {
  const p = window.bleeptonePlayer;
  return {state: p.state, frame: p.heardFrame(), rate: p.ctx ? p.ctx.sampleRate : 0,
          time: document.getElementById('time').textContent,
          status: document.getElementById('status').textContent,
          marks: Array.from(document.querySelectorAll('.playhead.on'),
                            (m) => m.closest('.mml').id + ':' + Array.prototype.indexOf.call(m.closest('.mml').children,
                                                                                          m.parentNode) + ':' + m.style.left)};
})()"""


class SelfTest(unittest.TestCase):
    def test_demos_give_the_native_render(self):
        for n, seconds in SELFTEST_SECONDS.items():
            with self.subTest(demo=n):
                expected = hashlib.sha256(
                    native("render", "--demo", str(n), "--format", "f32", "--seconds", seconds, "-o", "-")).hexdigest()
                browser.open(page("demo%d" % n), "#selftest=" + seconds)
                got = browser.wait_for("document.getElementById('selftest').textContent", "the selftest of demo %d" % n)
                self.assertEqual(got, expected)


class Playing(unittest.TestCase):
    def tearDown(self):
        browser.js("document.getElementById('stop').click()")

    def assert_plays_and_the_playhead_moves(self):
        first = browser.wait_for("(() => { const s = %s; return s.state === 'playing' && s.marks.length && s; })()" % STATE,
                                 "the first notes marked")
        later = browser.wait_for(
            "(() => { const s = %s; return s.marks.length && s.frame > %d + 44100 && "
            "JSON.stringify(s.marks) !== %s && s; })()" % (STATE, first["frame"], json.dumps(json.dumps(first["marks"]))),
            "the playhead to move on")
        self.assertNotEqual(later["time"], first["time"])
        return later

    def test_play_marks_the_notes_heard_and_stop_stops(self):
        browser.open(page("demo1"))
        self.assertEqual(browser.js("document.getElementById('time').textContent"), "00:00.0 / 00:37.3")
        browser.js("document.getElementById('play').click()")
        state = self.assert_plays_and_the_playhead_moves()
        self.assertEqual(state["rate"], 44100)
        self.assertRegex(state["time"], r"^00:0\d\.\d / 00:37\.3$")
        if os.environ.get("BLEEPTONE_SCREENSHOT"):
            browser.screenshot(os.environ["BLEEPTONE_SCREENSHOT"])
        browser.js("document.getElementById('stop').click()")
        stopped = browser.js(STATE)
        self.assertEqual((stopped["state"], stopped["marks"], stopped["time"]), ("idle", [], "00:00.0 / 00:37.3"))
        self.assertEqual(browser.js("[document.getElementById('play').disabled, document.getElementById('stop').disabled]"),
                         [False, True])

    def test_space_plays_and_stops(self):
        browser.open(page("demo4"))
        browser.js("document.activeElement && document.activeElement.blur()")
        browser.key(" ", "Space", " ")
        browser.wait_for("window.bleeptonePlayer.state === 'playing'", "Space to play")
        browser.key(" ", "Space", " ")
        browser.wait_for("window.bleeptonePlayer.state === 'idle'", "Space to stop")

    def test_a_tune_that_ends_stops_by_itself(self):
        browser.open(page("short"))
        browser.js("document.getElementById('play').click()")
        browser.wait_for("(() => { const s = %s; return s.state === 'playing' && s.marks.length; })()" % STATE,
                         "the first note marked")
        browser.wait_for("(() => { const s = %s; return s.state === 'idle' && !s.marks.length; })()" % STATE,
                         "the end of the tune")

    def test_another_rate_plays_resampled(self):
        browser.open(page("demo1"), "#rate=48000")
        browser.js("document.getElementById('play').click()")
        state = self.assert_plays_and_the_playhead_moves()
        self.assertEqual(state["rate"], 48000)
        self.assertEqual(state["status"], "Resampled to 48000 Hz")


class PageUse(unittest.TestCase):
    def test_copy_mml_gives_the_export_mml_text(self):
        browser.open(page("demo2"))
        browser.js("window.copied = null; navigator.clipboard.writeText = async (t) => { window.copied = t; }")
        browser.js("document.getElementById('copy').click()")
        copied = browser.wait_for("window.copied", "the clipboard text")
        self.assertEqual(copied, native("export-mml", "--demo", "2").decode("utf-8"))

    def test_nothing_sticks_out_at_a_phones_width(self):
        browser.call("Emulation.setDeviceMetricsOverride", width=360, height=740, deviceScaleFactor=2, mobile=True)
        try:
            browser.open(page("demo1"))
            self.assertLessEqual(browser.js("document.documentElement.scrollWidth"), 360)
        finally:
            browser.call("Emulation.clearDeviceMetricsOverride")


if __name__ == "__main__":
    unittest.main(verbosity=2)
