"""The two example scripts run at a small size and write their pictures."""

import os
import pathlib
import subprocess
import sys

import matplotlib.image
import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.mark.parametrize("script,args", [
    ("arctic_circle.py", ["--n", "12", "--samples", "30"]),
    ("height_fluctuations.py", ["--sizes", "6", "12", "--samples", "30"]),
])
def test_example_writes_its_picture(tmp_path, script, args):
    out = tmp_path / "out.png"
    r = subprocess.run([sys.executable, str(EXAMPLES / script), *args, "--out", str(out)],
                       capture_output=True, text=True, timeout=300, env=os.environ.copy())
    assert r.returncode == 0, r.stderr
    image = matplotlib.image.imread(out)
    assert image.shape[0] > 200 and image.shape[1] > 400
    # Not a blank page.
    assert image[:, :, :3].std() > 0.05
    assert str(out) in r.stdout
