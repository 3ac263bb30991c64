"""Exact random lozenge tilings of a hexagon, as NumPy arrays.

The hexagon has sides N, T-S and S; a tiling is equally a boxed plane
partition (an S x (T-S) matrix with entries in 0..N, decreasing along rows and
columns) or N non-intersecting paths over the time slices 0..T. Six models
(the same names, parameters and checks as lozengia-cli):

    hahn                uniform
    q-hahn              q                     (weight q^volume)
    racah               K
    trigonometric       alpha, beta
    real-q-racah        q, log_q_kappa
    imaginary-q-racah   q, kappa

    >>> import lozengia
    >>> pp = lozengia.sample(50, 100, 50, seed=1)          # (50, 50) int32
    >>> many = lozengia.sample(30, 60, 30, model="q-hahn", q=0.98, count=100, seed=2)
    >>> s = lozengia.Sampler(50, 100, seed=3); s.exact(50); s.step_minus(10)
    >>> rgb = lozengia.draw(pp, N=50, style=1, size=400)   # (400, 350, 3) uint8

The same seed gives the same arrays as `lozengia-cli --seed` (sample i of
--count is run i of the seed). Sampling runs without the interpreter's lock,
and Ctrl-C (KeyboardInterrupt) stops it within a fraction of a second.
"""

import numbers
import operator
import os

import numpy as np

from . import _core

# The project's version, compiled in from CMakeLists.txt.
__version__ = _core.__version__

__all__ = [
    "MODELS", "Model", "sample", "Sampler", "plane_partition", "heights", "lozenges",
    "draw", "save_png", "save_svg", "load_colours", "read_plane_partitions", "OUTSIDE", "FLAT",
    "RISING", "TOP",
]

# Lozenge types of lozenges(): what a place of a time slice holds.
OUTSIDE, FLAT, RISING, TOP = 0, 1, 2, 3

# The model names of lozengia-cli, with the kind numbers the core uses.
_KINDS = {
    "hahn": 6, "q-hahn": 5, "racah": 4, "trigonometric": 3,
    "real-q-racah": 2, "imaginary-q-racah": 1,
}
MODELS = tuple(_KINDS)
_NAMES = {kind: name for name, kind in _KINDS.items()}
# The parameters, as keyword arguments, and which model reads each.
_PARAMETERS = ("q", "kappa", "log_q_kappa", "K", "alpha", "beta")

_INT64 = (-(2 ** 63), 2 ** 63 - 1)
_MAX_COUNT = 2 ** 40


def _uses(kind):
    q, kappa, _logq_or_k, alpha, beta = _core.enabled_fields(kind)
    return {
        "q": q, "kappa": kappa, "log_q_kappa": kind == _KINDS["real-q-racah"],
        "K": kind == _KINDS["racah"], "alpha": alpha, "beta": beta,
    }


def _integer(value, name):
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None


def _ranged(value, name, lo, hi, hint=None):
    v = _integer(value, name)
    if not lo <= v <= hi:
        raise ValueError(f"{name} must be an integer in {hint or f'{lo}..{hi}'}, not {v}")
    return v


def _text(value, name):
    """A parameter as the text the "New hexagon" check reads: exactly as
    typed for a string, every digit of an integer, the shortest text that
    reads back as the same double for a real (nan and inf are refused by the
    check itself)."""
    if isinstance(value, str):
        return value
    if isinstance(value, bool):
        raise TypeError(f"{name} must be a number, not bool")
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        try:
            return repr(float(value))
        except (OverflowError, ValueError):
            return "nan"
    raise TypeError(f"{name} must be a number, not {type(value).__name__}")


class Model:
    """A model and its parameters, e.g. Model("q-hahn", q=0.98).

    The values are checked with the hexagon they are used with (the Racah
    models' intervals depend on N and T), by sample() and Sampler.
    """

    def __init__(self, name="hahn", **params):
        if isinstance(name, Model):
            name, params = name.name, {**name.params, **params}
        name = Model._name(name)
        kind = _KINDS[name]
        uses = _uses(kind)
        for key, value in params.items():
            if key not in uses:
                raise TypeError(f"unknown parameter '{key}': the parameters are "
                                f"{', '.join(_PARAMETERS)}")
            if value is not None and not uses[key]:
                raise ValueError(f"{key} does not apply to the model {_core.model_names[kind]}")
        self.name = name
        self.kind = kind
        self.params = {k: v for k, v in params.items() if v is not None}
        self._texts = {k: _text(v, k) for k, v in self.params.items()}
        missing = [k for k, used in uses.items() if used and k not in self.params]
        if missing:
            raise ValueError(f"the model {name} needs {' and '.join(missing)}")

    @staticmethod
    def _name(name):
        """The command-line name of a model given by name or kind number."""
        if isinstance(name, bool):
            raise TypeError("model must be a name or a kind number 1..6, not bool")
        if isinstance(name, numbers.Integral):
            if not 1 <= int(name) <= 6:
                raise ValueError(f"Unknown model {int(name)}: the kind numbers are 1..6")
            name = _NAMES[int(name)]
        if not isinstance(name, str):
            raise TypeError(f"model must be a name or a kind number 1..6, not {type(name).__name__}")
        if name.strip() in ("1", "2", "3", "4", "5", "6"):
            name = _NAMES[int(name)]
        if name not in _KINDS:
            raise ValueError(f"Unknown model '{name}': one of {', '.join(MODELS)}")
        return name

    @property
    def title(self):
        """The model's name as the desktop program's "New" dialog lists it."""
        return _core.model_names[self.kind]

    def _check(self, N, T, S):
        t = self._texts
        logq_or_k = t.get("K", "") if self.kind == _KINDS["racah"] else t.get("log_q_kappa", "")
        return _core.check_hexagon(
            self.kind, str(_integer(N, "N")), str(_integer(T, "T")), str(_integer(S, "S")),
            t.get("q", ""), t.get("kappa", ""), logq_or_k, t.get("alpha", ""), t.get("beta", ""))

    def __eq__(self, other):
        return isinstance(other, Model) and (self.kind, self._texts) == (other.kind, other._texts)

    def __hash__(self):
        return hash((self.kind, tuple(sorted(self._texts.items()))))

    def __repr__(self):
        args = "".join(f", {k}={v!r}" for k, v in self.params.items())
        return f"Model({self.name!r}{args})"


def _model(model, params):
    if isinstance(model, Model):
        if any(v is not None for v in params.values()):
            raise TypeError("give the parameters either in the Model or as keywords, not both")
        return model
    return Model(model, **params)


def _seed(seed):
    if seed is None:
        return _core.clock_seed()
    return _ranged(seed, "seed", *_INT64, hint="-2^63..2^63-1")


def _threads(threads):
    return 0 if threads is None else _ranged(threads, "threads", 1, 1024)


def _max_memory(max_memory):
    """The most memory a call may take, in bytes: 0 for what the machine
    has available (None), a byte count, or a text such as "16G"."""
    if max_memory is None:
        return 0
    if isinstance(max_memory, str):
        return _core.parse_memory_size(max_memory)
    return _ranged(max_memory, "max_memory", 1, 2 ** 64 - 1, hint="a byte count >= 1")


def sample(N, T, S, model="hahn", *, q=None, kappa=None, log_q_kappa=None, K=None, alpha=None,
           beta=None, seed=None, threads=None, count=None, max_memory=None):
    """Exact samples of the model on the hexagon N x (T-S) x S.

    Returns the plane partition as an int32 array of shape (S, T-S), or with
    count=M an array (M, S, T-S) of M independent samples. The same seed gives
    the same arrays as `lozengia-cli --seed SEED --count M` on every machine
    and with any number of threads (None: every core). A call that would take
    more memory than the machine has available (or than max_memory, bytes or
    a text such as "16G") raises MemoryError before it allocates anything.
    """
    m = _model(model, dict(q=q, kappa=kappa, log_q_kappa=log_q_kappa, K=K, alpha=alpha,
                           beta=beta))
    n = 1 if count is None else _ranged(count, "count", 1, _MAX_COUNT, hint="1..2^40")
    params = m._check(N, T, S)
    out = _core.sample(params, _seed(seed), n, _threads(threads), _max_memory(max_memory))
    return out[0] if count is None else out


def _int_array(x, name):
    try:
        a = np.asarray(x)
    except (ValueError, TypeError) as e:
        raise ValueError(f"{name} must be a rectangular array of integers ({e})") from None
    if a.dtype == np.bool_ or a.dtype.kind not in "iu":
        raise TypeError(f"{name} must be an array of integers, not of {a.dtype}")
    if a.ndim != 2:
        raise ValueError(f"{name} must be a 2-D array, not of shape {a.shape}")
    if a.size and (int(a.min()) < -(2 ** 31) or int(a.max()) > 2 ** 31 - 1):
        raise ValueError(f"{name} has entries beyond 32 bits")
    return np.ascontiguousarray(a, dtype=np.int32)


def _plane_partition(x, N):
    """The plane partition (int32) and N of a plane partition or a Sampler."""
    a = _int_array(x, "the plane partition")
    if N is None:
        N = max(1, int(a.max())) if a.size else 1
    return a, _ranged(N, "N", 1, 2 ** 31 - 1)


def plane_partition(paths):
    """The plane partition (S, T-S) of N paths given as heights (N, T+1)."""
    return _core.paths_to_plane_partition(_int_array(paths, "paths"))


def heights(pp, N):
    """The heights (N, T+1) of the N paths of a plane partition (S, T-S)
    whose entries lie in 0..N."""
    a, n = _plane_partition(pp, N)
    return _core.plane_partition_to_paths(a, n)


def lozenges(x, N=None):
    """The lozenge types of a tiling (a plane partition, with its N, or a
    Sampler): an int8 array (N+S, T) over heights h and slices t = 0..T-1.
    Where a path crosses slice t at height h, FLAT (1) or RISING (2) is the
    lozenge it goes through next; a place of the slice that no path crosses
    is TOP (3), the lozenge centred there (the top of a column of cubes);
    OUTSIDE (0) is outside the hexagon. Each lozenge appears once.
    N defaults to the largest entry (at least 1)."""
    if isinstance(x, Sampler):
        return x.lozenges()
    a, n = _plane_partition(x, N)
    return _core.lozenges(a, n)


def _colour(c, k):
    if isinstance(c, str):
        h = c[1:] if c.startswith("#") else c
        if len(h) != 6 or any(ch not in "0123456789abcdefABCDEF" for ch in h):
            raise ValueError(f"colour {k + 1}: '{c}' is not #RRGGBB")
        r, g, b = int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16)
    else:
        try:
            r, g, b = (_ranged(v, f"colour {k + 1}", 0, 255) for v in c)
        except (TypeError, ValueError) as e:
            raise type(e)(f"colour {k + 1} must be '#RRGGBB' or (r, g, b) in 0..255 ({e})") \
                from None
    return r | g << 8 | b << 16  # the canvas packs 0x00BBGGRR


def _colours(colours):
    if colours is None:
        return tuple(_core.default_colours)
    if isinstance(colours, str) or len(colours) != 3:
        raise ValueError("colours must be three colours: flat, rising and top lozenges")
    return tuple(_colour(c, k) for k, c in enumerate(colours))


def _picture_args(style, size, colours):
    return (_ranged(style, "style", 1, 5), _colours(colours), _ranged(size, "size", 16, 20000))


def draw(x, style=2, size=800, colours=None, N=None):
    """The tiling picture of a plane partition (with its N) or a Sampler, as
    the desktop program and lozengia-cli draw it: an RGB uint8 array
    (height, width, 3), the drawing centred with an even margin, `size`
    pixels on its long side. style 1..5 (1 no borders, 2 borders, 3 paths, 4 paths
    and borders, 5 the Z^2 picture); colours: three colours (flat, rising,
    top lozenges), each '#RRGGBB' or (r, g, b)."""
    st, col, sz = _picture_args(style, size, colours)
    if isinstance(x, Sampler):
        return x._core.draw(st, col, sz)
    a, n = _plane_partition(x, N)
    return _core.draw(a, n, st, col, sz)


def _file_name(path):
    """A file name as open() takes it (str, bytes or os.PathLike, refused as
    open() refuses it) and the bytes the file system gets."""
    name = os.fspath(path)
    raw = os.fsencode(name)
    if b"\0" in raw:
        raise ValueError("embedded null byte")
    return name, raw


def read_plane_partitions(path, max_memory=None):
    """The plane partitions of a file written by lozengia-cli --export, the
    desktop program's Export or by hand (one row a line, entries separated
    by blanks or in fields of 8 characters, partitions separated by empty
    lines): a list of int32 arrays (S, T-S). Every entry is checked (whole
    numbers >= 0, rows and columns decreasing, rows of one length); a file
    that is not such a text raises ValueError naming the line and column of
    the first fault. Only a regular file is read."""
    name, raw = _file_name(path)
    return _core.read_plane_partitions(raw, os.fsdecode(name), _max_memory(max_memory))


def _save(svg, x, path, style, size, colours, N, in_place):
    name, raw = _file_name(path)
    st, col, sz = _picture_args(style, size, colours)
    if isinstance(x, Sampler):
        x._core.save(svg, raw, name, st, col, sz, bool(in_place))
    else:
        a, n = _plane_partition(x, N)
        _core.save(a, n, svg, raw, name, st, col, sz, bool(in_place))


_SAVE_DOC = """Writes the picture of draw() to {kind} file, replaced whole once
    written. A file whose folder may not be written is written in place, its
    old content kept in a copy (in $TMPDIR, /var/tmp or /tmp) and put back if
    the write fails; where no copy can be kept it is refused, unless
    in_place=True. A failure raises OSError (errno, the reason, the name).{extra}"""


def save_png(x, path, style=2, size=800, colours=None, N=None, *, in_place=False):
    _save(False, x, path, style, size, colours, N, in_place)


def save_svg(x, path, style=2, size=800, colours=None, N=None, *, in_place=False):
    _save(True, x, path, style, size, colours, N, in_place)


save_png.__doc__ = _SAVE_DOC.format(kind="a PNG", extra="")
save_svg.__doc__ = _SAVE_DOC.format(
    kind="an SVG",
    extra="\n    An SVG file that could pass 100 MiB raises ValueError before anything is\n    written.",
)


def load_colours(path="config.cfg"):
    """The lozenge colours and picture style of a colour file as the desktop
    program reads it: (colours, style, loaded); the defaults when the file is
    missing or unreadable."""
    loaded, packed, style = _core.load_colours(str(path))
    colours = tuple(f"#{c & 255:02x}{c >> 8 & 255:02x}{c >> 16 & 255:02x}" for c in packed)
    return colours, style, loaded


class Sampler:
    """A configuration of the hexagon N x (T-S) x S, moved by the two Markov
    operators, which keep it distributed by the model.

    It starts from the minimal configuration at S (default 0). step_plus and
    step_minus draw from one Park-Miller stream seeded by `seed`, as the
    desktop program's step commands do; exact(S) replaces the configuration
    by an exact sample, the sampler's r-th being run r of lozengia.sample with
    the same seed. An interrupted call (Ctrl-C) leaves the sampler as it was.
    max_memory (as for sample()) bounds the memory each of its calls may take.
    """

    def __init__(self, N, T, S=0, model="hahn", *, q=None, kappa=None, log_q_kappa=None,
                 K=None, alpha=None, beta=None, seed=None, max_memory=None):
        self.model = _model(model, dict(q=q, kappa=kappa, log_q_kappa=log_q_kappa, K=K,
                                        alpha=alpha, beta=beta))
        params = self.model._check(N, T, S)
        self._core = _core.Sampler(params, _seed(seed), _max_memory(max_memory))

    @classmethod
    def from_plane_partition(cls, pp, N=None, T=None, model="hahn", *, q=None, kappa=None,
                             log_q_kappa=None, K=None, alpha=None, beta=None, seed=None,
                             max_memory=None):
        """A sampler whose configuration is the tiling of the plane partition
        pp (S, T-S), as read_plane_partitions gives it, to continue the
        dynamics from: N defaults to its largest entry (at least 1), T to
        S + (T-S); the model is checked with that hexagon."""
        a, n = _plane_partition(pp, N)
        rows, cols = a.shape
        if T is not None and _integer(T, "T") != rows + cols:
            raise ValueError(f"T = {T}, but the plane partition has {rows} rows of {cols} "
                             f"entries: T = {rows + cols}")
        s = cls(n, rows + cols, rows, model, q=q, kappa=kappa, log_q_kappa=log_q_kappa, K=K,
                alpha=alpha, beta=beta, seed=seed, max_memory=max_memory)
        s._core.set_plane_partition(a)
        return s

    @property
    def N(self):
        return self._core.params.N

    @property
    def T(self):
        return self._core.params.T

    @property
    def S(self):
        return self._core.params.S

    @property
    def seed(self):
        return self._core.seed

    @property
    def paths(self):
        """The heights of the N paths over slices 0..T, an (N, T+1) int32
        array (a read-only copy: later steps do not change it)."""
        p = self._core.paths()
        p.flags.writeable = False
        return p

    def plane_partition(self):
        """The configuration as a plane partition, an (S, T-S) int32 array."""
        return self._core.plane_partition()

    def lozenges(self):
        """The lozenge types of the configuration (see lozengia.lozenges)."""
        return self._core.lozenges()

    def step_plus(self, k=1):
        """k steps S -> S+1 (S + k <= T)."""
        self._core.step(True, _ranged(k, "k", 1, 2 ** 31 - 1))

    def step_minus(self, k=1):
        """k steps S -> S-1 (k <= S)."""
        self._core.step(False, _ranged(k, "k", 1, 2 ** 31 - 1))

    def exact(self, S=None, threads=None):
        """Replaces the configuration by an exact sample at S (default: the
        current S), grown from S = 0 on the sampler's next run stream."""
        s = self.S if S is None else _ranged(S, "S", 0, self.T, hint=f"0..T = 0..{self.T}")
        self._core.exact(s, _threads(threads))

    def draw(self, style=2, size=800, colours=None):
        return draw(self, style, size, colours)

    def save_png(self, path, style=2, size=800, colours=None, *, in_place=False):
        save_png(self, path, style, size, colours, in_place=in_place)

    def save_svg(self, path, style=2, size=800, colours=None, *, in_place=False):
        save_svg(self, path, style, size, colours, in_place=in_place)

    def __repr__(self):
        return f"<lozengia.Sampler {self._core.params.info()}>"

