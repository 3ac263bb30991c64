"""The web page and lozengia.js in headless chromium: the same bytes as
lozengia-cli for every model, the check's messages, Stop, keys, the
picture, and a page that stays responsive while it samples."""
import io
import os
import subprocess
import time

import pytest
from PIL import Image
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from conftest import CLI, wait_for

# The models as lozengia-cli and lozengia.js name them, with parameters.
MODELS = [
    ("hahn", {}),
    ("q-hahn", {"q": "0.9"}),
    ("racah", {"K": "-300"}),
    ("trigonometric", {"alpha": "0.04", "beta": "1.5"}),
    ("real-q-racah", {"q": "0.95", "log_q_kappa": "40"}),
    ("imaginary-q-racah", {"q": "0.95", "kappa": "2"}),
]
CLI_OPTION = {"q": "--q", "K": "--K", "alpha": "--alpha", "beta": "--beta",
              "log_q_kappa": "--log-q-kappa", "kappa": "--kappa"}
# The page's field of each option (K and log_q(kappa) share one).
PAGE_FIELD = {"q": "q", "K": "logq_or_K", "alpha": "alpha", "beta": "beta",
              "log_q_kappa": "logq_or_K", "kappa": "kappa"}
KIND = {"hahn": 6, "q-hahn": 5, "racah": 4, "trigonometric": 3, "real-q-racah": 2,
        "imaginary-q-racah": 1}


def cli(model, params, shape, seed, *extra):
    args = [CLI, "--model", model, "-N", str(shape[0]), "-T", str(shape[1]), "-S", str(shape[2]),
            "--seed", str(seed), "--threads", "1", *extra]
    for key, value in params.items():
        args += [CLI_OPTION[key], value]
    return subprocess.run(args, capture_output=True, timeout=120)


def api_sample(driver, options):
    """lozengia.js's sample(options) in the page: its result, or the Error's message."""
    return driver.execute_async_script("""
        const [options, done] = arguments;
        import('./lozengia.js').then(async (m) => {
          window.lz = window.lz || await m.load();
          try {
            const s = lz.sample(options);
            done({ rows: s.rows, cols: s.cols, text: s.text, cells: Array.from(s.planePartition) });
          } catch (e) { done({ error: e.message, isError: e instanceof Error }); }
        });""", options)


def fill(driver, model, params, shape, seed):
    """Types the fields as a user would (the model first: it sets the fields)."""
    Select(driver.find_element(By.ID, "model")).select_by_value(str(KIND[model]))
    values = {"N": shape[0], "T": shape[1], "S": shape[2]}
    values.update({PAGE_FIELD[k]: v for k, v in params.items()})
    for key, value in values.items():
        field = driver.find_element(By.ID, f"field-{key}")
        field.clear()
        field.send_keys(str(value))
    seed_field = driver.find_element(By.ID, "seed")
    seed_field.clear()
    seed_field.send_keys(str(seed))


def page_sample(driver, model, params, shape, seed):
    fill(driver, model, params, shape, seed)
    driver.find_element(By.ID, "sample").click()
    wait_for(driver, "return document.body.dataset.busy === 'no'", what="sample")
    return driver.execute_script("return lozengiaPage.hexagon.export_text()")


@pytest.mark.parametrize("model,params", MODELS, ids=[m for m, _ in MODELS])
def test_same_bytes_as_the_cli(page, model, params):
    # lozengia.js for two seeds and two shapes, and the page's own worker.
    for shape, seed in (((20, 40, 20), 12345), ((37, 61, 29), -7)):
        expected = cli(model, params, shape, seed, "--export", "-")
        assert expected.returncode == 0, expected.stderr
        got = api_sample(page, {"model": model, "N": shape[0], "T": shape[1], "S": shape[2],
                                "seed": seed, **params})
        assert got.get("text", got.get("error")) == expected.stdout.decode(), (model, shape, seed)
        assert (got["rows"], got["cols"]) == (shape[2], shape[1] - shape[2])
        # The matrix is the text's numbers, row by row.
        assert got["cells"] == [int(v) for v in expected.stdout.split()]
    text = page_sample(page, model, params, (37, 61, 29), 99)
    assert text == cli(model, params, (37, 61, 29), 99, "--export", "-").stdout.decode()


BAD_INPUT = [
    # model, params, shape, the field the message is shown beside
    ("q-hahn", {"q": "1"}, (20, 40, 20), "q"),
    ("q-hahn", {"q": "abc"}, (20, 40, 20), "q"),
    ("hahn", {}, (20, 40, 41), "S"),
    ("racah", {"K": "5"}, (20, 40, 20), "logq_or_K"),
    ("trigonometric", {"alpha": "0.04", "beta": "x"}, (20, 40, 20), "beta"),
]


@pytest.mark.parametrize("model,params,shape,field", BAD_INPUT)
def test_bad_input_shows_the_checks_message(page, model, params, shape, field):
    refused = cli(model, params, shape, 1)
    assert refused.returncode != 0
    got = api_sample(page, {"model": model, "N": shape[0], "T": shape[1], "S": shape[2],
                            "seed": 1, **params})
    assert got.get("isError") is True
    # The CLI prints the check's message, then how to get help.
    assert refused.stderr.decode().startswith(got["error"] + "\n"), (got, refused.stderr)
    fill(page, model, params, shape, 1)
    shown = page.find_element(By.ID, f"message-{field}").text
    assert shown == got["error"]
    page.find_element(By.ID, "sample").click()
    time.sleep(0.3)
    assert page.execute_script("return document.body.dataset.busy") == "no"


@pytest.mark.parametrize("options,message", [
    ({"model": "uniform"}, "Unknown model 'uniform': one of hahn, q-hahn, racah, trigonometric, "
                           "real-q-racah, imaginary-q-racah"),
    ({"N": 5, "T": 10, "S": 5, "colour": 1}, "Unknown option 'colour': one of model, N, T, S, seed, "
                                             "q, kappa, log_q_kappa, K, alpha, beta"),
    ({"N": 5, "T": 10, "S": 5, "seed": "1.5"},
     "seed: '1.5' is not an integer in -9223372036854775808..9223372036854775807"),
])
def test_api_refuses_what_it_cannot_read(page, options, message):
    got = api_sample(page, options)
    assert got == {"error": message, "isError": True}


def test_bad_seed_is_refused_beside_its_field(page):
    fill(page, "hahn", {}, (20, 40, 20), "12x")
    page.find_element(By.ID, "sample").click()
    wait_for(page, "return document.getElementById('seed-message').textContent !== ''", what="seed")
    assert page.find_element(By.ID, "seed-message").text == \
        "seed: '12x' is not an integer in -9223372036854775808..9223372036854775807"
    assert page.execute_script("return lozengiaPage.hexagon.N()") == 50


def test_too_large_for_the_browser_is_refused_before_any_work(page):
    fill(page, "hahn", {}, (20000, 40000, 20000), 1)
    # The check's own refusal of a hexagon larger than the memory the page
    # may take (2 GB of WebAssembly memory), beside no field.
    message = page.find_element(By.ID, "fields-message").text
    assert message.startswith("The hexagon is too large: its path arrays need "), message
    page.find_element(By.ID, "sample").click()
    time.sleep(0.3)
    assert page.execute_script("return document.body.dataset.busy") == "no"
    assert page.execute_script("return lozengiaPage.hexagon.N()") == 50  # the first sample kept


def start_live(driver, transition="1", delay="0"):
    Select(driver.find_element(By.ID, "transition")).select_by_value(transition)
    delay_field = driver.find_element(By.ID, "delay")
    delay_field.clear()
    delay_field.send_keys(delay)
    renders = driver.execute_script("return lozengiaPage.view.renders")
    driver.find_element(By.ID, "live").click()
    wait_for(driver, f"return lozengiaPage.view.renders > {renders + 3}", what="live mode")


@pytest.mark.parametrize("how", ["stop button", "key"])
def test_live_mode_stops(page, how):
    start_live(page)
    assert page.execute_script("return document.body.dataset.live") == "yes"
    if how == "key":
        page.find_element(By.ID, "canvas").send_keys("k")
    else:
        page.find_element(By.ID, "stop").click()
    wait_for(page, "return document.body.dataset.live === 'no' && document.body.dataset.busy === 'no'",
             what="stop")
    time.sleep(0.3)  # the last tiling's picture, drawn at the next frame
    renders = page.execute_script("return lozengiaPage.view.renders")
    time.sleep(0.5)
    assert page.execute_script("return lozengiaPage.view.renders") == renders
    # A round trip ends where it began; the last one may be half made.
    assert page.execute_script("return lozengiaPage.hexagon.S()") in (50, 51)


def test_live_refusals(page):
    for transition, delay, message in (("1", "-5", "Incorrect input!"),
                                       ("3", "abc", "Incorrect input!")):
        Select(page.find_element(By.ID, "transition")).select_by_value(transition)
        field = page.find_element(By.ID, "delay")
        field.clear()
        field.send_keys(delay)
        page.find_element(By.ID, "live").click()
        assert page.find_element(By.ID, "live-message").text == message
        assert page.execute_script("return document.body.dataset.live") != "yes"


def test_keys_step_the_tiling(page):
    canvas = page.find_element(By.ID, "canvas")
    canvas.click()
    for key, S in (("a", 51), ("z", 50), ("z", 49), ("s", 49), ("x", 49), ("Q", 49)):
        canvas.send_keys(key)
        wait_for(page, "return document.body.dataset.busy === 'no'", what=f"key {key}")
        time.sleep(0.1)
        wait_for(page, "return document.body.dataset.busy === 'no'", what=f"key {key}")
        assert page.execute_script("return lozengiaPage.hexagon.S()") == S, key
    # q has left the keys' mode: a key in the page does nothing now.
    page.find_element(By.TAG_NAME, "body").send_keys("a")
    time.sleep(0.3)
    assert page.execute_script("return lozengiaPage.hexagon.S()") == 49


def picture(driver):
    """The canvas as the screen shows it: its colours, the share of white, its bytes."""
    shot = Image.open(io.BytesIO(driver.find_element(By.ID, "canvas").screenshot_as_png))
    rgb = shot.convert("RGB")
    colours = rgb.getcolors(maxcolors=1 << 20) or []
    white = sum(count for count, c in colours if c == (255, 255, 255))
    return {"colours": len(colours), "white": white / (rgb.width * rgb.height),
            "bytes": rgb.tobytes(),
            "width": driver.execute_script(
                "const v = lozengiaPage.view.view; return v.right - v.left")}


def zoom(driver, how):
    renders = driver.execute_script("return lozengiaPage.view.renders")
    rect = driver.execute_script(
        "const r = document.getElementById('canvas').getBoundingClientRect();"
        "return [r.left + r.width / 2, r.top + r.height / 2]")
    cx, cy = rect
    if how == "wheel":
        driver.execute_script("""
            const [x, y] = arguments, c = document.getElementById('canvas');
            for (let k = 0; k < 5; ++k)
              c.dispatchEvent(new WheelEvent('wheel', { deltaY: -200, clientX: x, clientY: y,
                                                        bubbles: true, cancelable: true }));""", cx, cy)
    else:
        # Two fingers moving apart, as the touch screen sends them.
        def touch(kind, spread):
            points = [] if kind == "touchEnd" else [
                {"x": cx - spread, "y": cy, "id": 0}, {"x": cx + spread, "y": cy, "id": 1}]
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
        touch("touchStart", 20)
        for spread in range(40, 220, 20):
            touch("touchMove", spread)
        touch("touchEnd", 0)
    wait_for(driver, f"return lozengiaPage.view.renders > {renders}", what=how)
    time.sleep(0.3)  # the last redraw


@pytest.mark.parametrize("how", ["wheel", "pinch"])
def test_picture_is_drawn_and_zoom_redraws_it(page, how):
    before = picture(page)
    assert before["colours"] >= 4 and before["white"] < 0.9, before["colours"]
    zoom(page, how)
    after = picture(page)
    assert after["width"] < before["width"] / 2
    assert after["bytes"] != before["bytes"]
    # Closer, the lozenges fill the canvas: hardly any white, still every colour.
    assert after["colours"] >= 4 and after["white"] < 0.3, (after["colours"], after["white"])


def test_files_are_the_clis(page, downloads):
    for name in os.listdir(downloads):
        os.remove(os.path.join(downloads, name))
    text = page_sample(page, "q-hahn", {"q": "0.9"}, (20, 40, 20), 5)
    assert text
    Select(page.find_element(By.ID, "style")).select_by_value("4")
    page.find_element(By.ID, "save-svg").click()
    page.find_element(By.ID, "export").click()
    page.find_element(By.ID, "save-png").click()
    names = {"svg": "lozengia-20x20x20.svg", "txt": "lozengia-20x20x20.txt",
             "png": "lozengia-20x20x20.png"}
    end = time.monotonic() + 30
    while not all(os.path.exists(os.path.join(downloads, n)) for n in names.values()):
        assert time.monotonic() < end, os.listdir(downloads)
        time.sleep(0.1)
    time.sleep(0.3)
    svg = cli("q-hahn", {"q": "0.9"}, (20, 40, 20), 5, "--style", "4", "--svg", "-").stdout
    export = cli("q-hahn", {"q": "0.9"}, (20, 40, 20), 5, "--export", "-").stdout
    with open(os.path.join(downloads, names["svg"]), "rb") as f:
        assert f.read() == svg
    with open(os.path.join(downloads, names["txt"]), "rb") as f:
        assert f.read() == export
    # The browser encodes the PNG; its pixels are the CLI's.
    png = cli("q-hahn", {"q": "0.9"}, (20, 40, 20), 5, "--style", "4", "--png", "-").stdout
    mine = Image.open(os.path.join(downloads, names["png"])).convert("RGB")
    theirs = Image.open(io.BytesIO(png)).convert("RGB")
    assert mine.size == theirs.size and max(mine.size) == 800
    assert mine.tobytes() == theirs.tobytes()


def test_page_answers_a_click_while_a_large_sample_runs(page):
    fill(page, "hahn", {}, (300, 600, 300), 3)
    page.execute_script("""document.getElementById('style').addEventListener('change',
        () => { window.busyAtClick = document.body.dataset.busy; });""")
    page.find_element(By.ID, "sample").click()
    wait_for(page, "return document.body.dataset.busy === 'yes' && "
                   "document.getElementById('progress').value > 0", what="n = 300 sample")
    # A click on the picture's style is handled (and the tiling shown redrawn)
    # while the worker samples.
    renders = page.execute_script("return lozengiaPage.view.renders")
    Select(page.find_element(By.ID, "style")).select_by_value("1")
    wait_for(page, f"return lozengiaPage.view.renders > {renders}", timeout=5, what="click while busy")
    assert page.execute_script("return window.busyAtClick") == "yes"
    wait_for(page, "return document.body.dataset.busy === 'no' && lozengiaPage.hexagon.N() === 300",
             timeout=150, what="n = 300 sample")
    text = page.execute_script("return lozengiaPage.hexagon.export_text()")
    assert text == cli("hahn", {}, (300, 600, 300), 3, "--export", "-").stdout.decode()


def test_stop_abandons_a_sample_and_keeps_the_tiling(page):
    before = page.execute_script("return lozengiaPage.hexagon.export_text()")
    fill(page, "hahn", {}, (1000, 2000, 1000), 3)
    page.find_element(By.ID, "sample").click()
    wait_for(page, "return document.getElementById('progress').value > 0", what="n = 1000 sample")
    page.find_element(By.ID, "stop").click()
    wait_for(page, "return document.body.dataset.busy === 'no'", timeout=10, what="stop")
    assert "Stopped" in page.find_element(By.ID, "messages").text
    assert page.execute_script("return lozengiaPage.hexagon.export_text()") == before
    # The fresh worker samples again.
    fill(page, "hahn", {}, (20, 40, 20), 12345)
    page.find_element(By.ID, "sample").click()
    wait_for(page, "return document.body.dataset.busy === 'no' && lozengiaPage.hexagon.N() === 20",
             what="sample after stop")
    assert page.execute_script("return lozengiaPage.hexagon.export_text()") == \
        cli("hahn", {}, (20, 40, 20), 12345, "--export", "-").stdout.decode()


def test_steps_follow_the_dialogs_rules(page):
    steps = page.find_element(By.ID, "steps")
    steps.clear()
    steps.send_keys("51")
    page.find_element(By.ID, "plus").click()
    assert page.find_element(By.ID, "steps-message").text == \
        "Number of steps: an integer from 1 to T-S; at most 50 steps: T-S is 50"
    steps.clear()
    steps.send_keys("50")
    page.find_element(By.ID, "plus").click()
    wait_for(page, "return document.body.dataset.busy === 'no' && lozengiaPage.hexagon.S() === 100",
             what="50 steps")
    assert page.find_element(By.ID, "steps-message").text == ""
    page.find_element(By.ID, "minus").click()
    wait_for(page, "return document.body.dataset.busy === 'no' && lozengiaPage.hexagon.S() === 50",
             what="50 steps back")
