"""Headless Debian chromium driven through chromedriver (python3-selenium),
and the web folder served on a free local port, for the page's tests."""
import contextlib
import functools
import http.server
import os
import shutil
import socket
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = os.environ.get("LOZENGIA_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("LOZENGIA_CHROMEDRIVER", "/usr/bin/chromedriver")


class _Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def served(folder):
    """The folder on http://127.0.0.1:PORT/ for as long as the block runs."""
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(_Handler, directory=folder))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


@contextlib.contextmanager
def chromium(width=1200, height=800, downloads=None):
    """A headless chromium that never reaches the network on its own."""
    profile = tempfile.mkdtemp(prefix="lozengia-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}",
                 f"--window-size={width},{height}"):
        options.add_argument(flag)
    if downloads:
        options.add_experimental_option("prefs", {
            "download.default_directory": downloads, "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(60)
    driver.set_script_timeout(120)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
