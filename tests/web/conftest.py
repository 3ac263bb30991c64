"""The built web folder (LOZENGIA_WEB, from scripts/build-web.sh), served, and
one headless chromium for all the page's tests; every test has a time limit."""
import os
import signal
import sys
import tempfile
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from browser import chromium, served  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WEB = os.environ.get("LOZENGIA_WEB", os.path.join(ROOT, "build-web"))
CLI = os.environ.get("LOZENGIA_CLI", os.path.join(ROOT, "build", "lozengia-cli"))
TEST_SECONDS = 180


@pytest.fixture(autouse=True)
def time_limit():
    def expired(signum, frame):
        raise TimeoutError(f"test ran longer than {TEST_SECONDS} s")
    old = signal.signal(signal.SIGALRM, expired)
    signal.alarm(TEST_SECONDS)
    yield
    signal.alarm(0)
    signal.signal(signal.SIGALRM, old)


@pytest.fixture(scope="session")
def site():
    if not os.path.isfile(os.path.join(WEB, "lozengia_core.wasm")):
        pytest.fail(f"no web build in {WEB}: run scripts/build-web.sh {WEB}")
    with served(WEB) as url:
        yield url


@pytest.fixture(scope="session")
def downloads():
    with tempfile.TemporaryDirectory(prefix="lozengia-downloads-") as d:
        yield d


@pytest.fixture(scope="session")
def driver(site, downloads):
    with chromium(downloads=downloads) as d:
        yield d


def wait_for(driver, script, timeout=60, what="the page"):
    """Waits until `script` returns a truthy value; returns it."""
    end = time.monotonic() + timeout
    while True:
        value = driver.execute_script(script)
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"{what}: still waiting for `{script}` after {timeout} s")
        time.sleep(0.05)


@pytest.fixture
def page(driver, site):
    """The page freshly loaded, its first sample drawn."""
    driver.get(site + "index.html")
    wait_for(driver, "return document.body.dataset.ready === 'yes'", what="page start")
    wait_for(driver, "return document.body.dataset.busy === 'no' && lozengiaPage.hexagon.S() > 0",
             what="first sample")
    return driver
