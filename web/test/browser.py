"""The page served from a local folder and driven in headless Chromium: shared by the web test
and the benchmark."""
import base64
import functools
import http.server
import os
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass


class Page:
    """The site folder served on a free port of 127.0.0.1, and Chromium showing it."""

    def __init__(self, site, width=1280, height=900, flags=()):
        handler = functools.partial(QuietHandler, directory=site)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/index.html" % self.server.server_address[1]
        self.profile = tempfile.TemporaryDirectory(prefix="kelviq-chromium-")
        self.downloads = tempfile.TemporaryDirectory(prefix="kelviq-downloads-")
        options = Options()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                     "--enable-unsafe-swiftshader",
                     "--user-data-dir=" + self.profile.name,
                     "--window-size=%d,%d" % (width, height), *flags):
            options.add_argument(flag)
        options.add_experimental_option("prefs", {
            "download.default_directory": self.downloads.name,
            "download.prompt_for_download": False,
        })
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.set_script_timeout(600)
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {
            "behavior": "allow", "downloadPath": self.downloads.name})

    def open(self):
        self.driver.get(self.url)
        WebDriverWait(self.driver, 20).until(
            lambda d: d.execute_script("return !!window.kelviq"))

    def convert(self, data, options, repeat=1):
        """window.kelviq.convert on the bytes; returns (bytes or None, error text, result,
        seconds of each run)."""
        answer = self.driver.execute_async_script("""
            const [encoded, options, repeat, done] = arguments;
            const bytes = Uint8Array.from(atob(encoded), (c) => c.charCodeAt(0));
            (async () => {
              const seconds = [];
              let result;
              for (let i = 0; i < repeat; i++) {
                const start = performance.now();
                result = await window.kelviq.convert(bytes.slice(), options);
                seconds.push((performance.now() - start) / 1000);
              }
              let text = "";
              for (let i = 0; i < result.bytes.length; i += 0x8000)
                text += String.fromCharCode.apply(null, result.bytes.subarray(i, i + 0x8000));
              done({bytes: btoa(text), segments: result.segments, width: result.width,
                    height: result.height, seconds});
            })().catch((e) => done({error: String(e.message || e)}));
        """, base64.b64encode(data).decode(), options, repeat)
        if "error" in answer:
            return None, answer["error"], answer, []
        return base64.b64decode(answer["bytes"]), "", answer, answer["seconds"]

    def downloaded(self, name, timeout=20):
        path = os.path.join(self.downloads.name, name)
        WebDriverWait(self.driver, timeout).until(
            lambda d: os.path.exists(path) and not os.path.exists(path + ".crdownload"))
        with open(path, "rb") as f:
            data = f.read()
        os.remove(path)
        return data

    def close(self):
        self.driver.quit()
        self.server.shutdown()
        self.profile.cleanup()
        self.downloads.cleanup()
