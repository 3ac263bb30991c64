"""Heights, plane partitions and lozenge types of one tiling agree, and the
pictures are the command-line tool's pictures."""

import matplotlib.image
import numpy as np
import pytest

import lozengia
from conftest import assert_boxed_plane_partition

SHAPES = [(1, 1, 0), (1, 1, 1), (1, 7, 3), (6, 1, 1), (5, 10, 5), (12, 30, 7), (9, 40, 33),
          (30, 12, 6)]


@pytest.mark.parametrize("N,T,S", SHAPES)
def test_heights_and_plane_partition_are_inverse(N, T, S):
    for pp in lozengia.sample(N, T, S, model="q-hahn", q=1.1, seed=N * T + S, count=10):
        paths = lozengia.heights(pp, N)
        assert paths.shape == (N, T + 1) and paths.dtype == np.int32
        # Heights of a tiling: paths 0..N-1 at slice 0, S..S+N-1 at slice T,
        # steps of 0 or 1, never touching.
        np.testing.assert_array_equal(paths[:, 0], np.arange(N))
        np.testing.assert_array_equal(paths[:, T], np.arange(N) + S)
        assert set(np.unique(np.diff(paths, axis=1))) <= {0, 1}
        assert (np.diff(paths, axis=0) >= 1).all()
        back = lozengia.plane_partition(paths)
        np.testing.assert_array_equal(back, pp)


def test_every_plane_partition_of_a_small_box_round_trips():
    # All plane partitions in a 2 x 3 x 3 box (S = 2, T - S = 3, N = 3): 175 by
    # MacMahon's formula.
    import itertools
    seen = 0
    for cells in itertools.product(range(4), repeat=6):
        pp = np.array(cells, dtype=np.int32).reshape(2, 3)
        if (np.diff(pp, axis=0) > 0).any() or (np.diff(pp, axis=1) > 0).any():
            continue
        seen += 1
        np.testing.assert_array_equal(lozengia.plane_partition(lozengia.heights(pp, 3)), pp)
    assert seen == 175


@pytest.mark.parametrize("N,T,S", SHAPES)
def test_lozenge_types_count_every_lozenge_once(N, T, S):
    pp = lozengia.sample(N, T, S, model="racah", K=-N - 3, seed=7)
    types = lozengia.lozenges(pp, N=N)
    paths = lozengia.heights(pp, N)
    assert types.shape == (N + S, T) and types.dtype == np.int8
    counts = [(types == k).sum() for k in (lozengia.FLAT, lozengia.RISING, lozengia.TOP)]
    assert counts == [N * (T - S), N * S, S * (T - S)]
    for t in range(T):
        for i in range(N):
            step = paths[i, t + 1] - paths[i, t]
            assert types[paths[i, t], t] == (lozengia.FLAT if step == 0 else lozengia.RISING)
    # Slice 0 has no place without a path.
    assert (types[:, 0] != lozengia.TOP).all()


def test_a_sampler_converts_as_its_plane_partition():
    s = lozengia.Sampler(10, 24, seed=3)
    s.exact(9)
    pp = s.plane_partition()
    np.testing.assert_array_equal(s.lozenges(), lozengia.lozenges(pp, N=10))
    np.testing.assert_array_equal(lozengia.lozenges(s), lozengia.lozenges(pp, N=10))
    np.testing.assert_array_equal(s.paths, lozengia.heights(pp, 10))
    np.testing.assert_array_equal(s.draw(style=4, size=64), lozengia.draw(pp, N=10, style=4,
                                                                           size=64))


@pytest.mark.parametrize("style", [1, 2, 3, 4, 5])
def test_draw_is_the_command_line_tools_png(cli, tmp_path, style):
    N, T, S = 8, 20, 9
    png = tmp_path / "cli.png"
    # In an empty folder: no config.cfg, so the default colours.
    cli("-N", N, "-T", T, "-S", S, "--seed", 4, "--png", png, "--style", style, "--size", 120,
        cwd=tmp_path)
    expected = (matplotlib.image.imread(png)[:, :, :3] * 255).round().astype(np.uint8)
    pp = lozengia.sample(N, T, S, seed=4)
    img = lozengia.draw(pp, N=N, style=style, size=120)
    assert img.shape == expected.shape and img.dtype == np.uint8
    np.testing.assert_array_equal(img, expected)
    # The drawing centred with an even margin, 120 pixels on the long side.
    assert max(img.shape[:2]) == 120
    ink = np.argwhere((img != 255).any(axis=2))
    (top, left), (bottom, right) = ink.min(axis=0), img.shape[:2] - ink.max(axis=0) - 1
    assert abs(left - right) <= 1 and abs(top - bottom) <= 1 and abs(left - top) <= 2
    ours = tmp_path / "ours.png"
    lozengia.save_png(pp, ours, N=N, style=style, size=120)
    assert ours.read_bytes() == png.read_bytes()


def test_colours_and_svg(tmp_path):
    pp = lozengia.sample(6, 12, 6, seed=1)
    img = lozengia.draw(pp, N=6, style=1, size=90, colours=["#ff0000", (0, 255, 0), "0000FF"])
    pixels = {tuple(p) for p in img.reshape(-1, 3)}
    assert {(255, 0, 0), (0, 255, 0), (0, 0, 255)} <= pixels
    default = lozengia.draw(pp, N=6, style=1, size=90)
    assert (208, 255, 208) in {tuple(p) for p in default.reshape(-1, 3)}
    svg = tmp_path / "t.svg"
    lozengia.save_svg(pp, svg, N=6)
    assert b"<svg" in svg.read_bytes()
    s = lozengia.Sampler(6, 12, seed=2)
    s.save_png(tmp_path / "s.png", size=32)
    assert (tmp_path / "s.png").read_bytes()[:4] == b"\x89PNG"


def test_an_svg_that_could_pass_its_bound_is_refused_as_the_command_line_tool_refuses_it(
        cli, tmp_path):
    r = cli("-N", 2000, "-T", 4000, "-S", 2000, "--seed", 1, "--svg", tmp_path / "cli.svg",
            check=False)
    assert r.returncode == 2
    message = r.stderr.splitlines()[0]
    assert message.startswith("SVG picture refused")
    s = lozengia.Sampler(2000, 4000, S=2000, seed=1)
    for save in (lambda p: s.save_svg(p), lambda p: lozengia.save_svg(s.plane_partition(), p,
                                                                      N=2000)):
        with pytest.raises(ValueError) as e:
            save(tmp_path / "big.svg")
        assert str(e.value) == message
    assert sorted(p.name for p in tmp_path.iterdir()) == []


def test_a_file_that_cannot_be_written_is_an_oserror(tmp_path):
    pp = lozengia.sample(3, 6, 3, seed=1)
    for save in (lozengia.save_png, lozengia.save_svg):
        with pytest.raises(OSError, match="Error while opening file"):
            save(pp, tmp_path / "no" / "such" / "folder.png", N=3)
    # A folder where the file should be.
    (tmp_path / "dir.png").mkdir()
    with pytest.raises(OSError, match="Error while opening file"):
        lozengia.save_png(pp, tmp_path / "dir.png", N=3)


def test_colour_file(tmp_path):
    lines = ["comment"] * 21
    lines[14], lines[15], lines[16] = "0000FF", "00FF00 flat", "FF0000"
    lines[18] = "3"
    (tmp_path / "config.cfg").write_text("\n".join(lines) + "\n")
    colours, style, loaded = lozengia.load_colours(tmp_path / "config.cfg")
    # The file's colours are BBGGRR.
    assert loaded and style == 3
    assert colours == ("#ff0000", "#00ff00", "#0000ff")
    img = lozengia.draw(lozengia.sample(4, 8, 4, seed=1), N=4, style=style, colours=colours,
                        size=40)
    assert img.shape == (40, 35, 3)  # the hexagon is taller than wide
    assert lozengia.load_colours(tmp_path / "missing.cfg")[2] is False


def test_sampled_plane_partitions_are_boxed():
    for pp in lozengia.sample(7, 15, 8, model="trigonometric", alpha=0.02, beta=1.0, seed=3,
                              count=5):
        assert_boxed_plane_partition(pp, 7, 8, 7)
