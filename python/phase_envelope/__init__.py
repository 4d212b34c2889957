"""Phase envelopes, flashes and critical points of a fluid, as phase-envelope
computes them, from Python.

    import phase_envelope as pe
    env = pe.envelope({"methane": 0.8, "ethane": 0.1, "propane": 0.1})
    print(env.critical, env.cricondenbar)
    env.plot(axes="PT")

Every calculation is exactly the command line's: the utility created through
the COM layer, connected to the reference host (``provider="host"``) or to the
application-side provider (``provider="app"``), ``Execute``, and the results
read back from the property container. Numbers are the command line's JSON
output, bit for bit.
"""

import concurrent.futures
import json
import math
import os

import numpy as np

from . import _core

__all__ = [
    "CalculationError",
    "Envelope",
    "Fluid",
    "compounds",
    "critical",
    "envelope",
    "envelopes",
    "flash",
]

# The curves the utility writes, by their axes: (x, y) columns of the points.
_CURVE_COLUMNS = {
    "PT": ("P_kPa", "T_K"),
    "PV": ("P_kPa", "V"),
    "PH": ("P_kPa", "H"),
    "PS": ("P_kPa", "S"),
    "TV": ("T_K", "V"),
    "TH": ("T_K", "H"),
    "TS": ("T_K", "S"),
}
_LABELS = {
    "P_kPa": "P / kPa",
    "T_K": "T / K",
    "H": "H / (kJ/kmol)",
    "S": "S / (kJ/(kmol K))",
    "V": "V / (m3/kmol)",
}


class CalculationError(RuntimeError):
    """A calculation that failed: ``status`` is Execute's HRESULT (an int),
    ``envelope`` what it stored before it failed (an Envelope, or None for a
    flash or a critical-point search)."""

    def __init__(self, message, status=None, envelope=None):
        super().__init__(message)
        self.status = status
        self.envelope = envelope

    @property
    def points(self):
        return None if self.envelope is None else self.envelope.points


class Fluid:
    """A fluid as a fluid file describes it: components (database names, or
    user compounds with Tc K, Pc kPa, omega, mw), their mole fractions, the
    equation of state, k_ij overrides and the volume shift."""

    def __init__(self, components, eos=None, kij=None, volume_shift=None):
        self.components = [dict(c) for c in components]
        self.eos = eos
        self.kij = [dict(k) for k in kij] if kij else []
        self.volume_shift = volume_shift

    @classmethod
    def from_dict(cls, d):
        return cls(d["components"], d.get("eos"), d.get("kij"), d.get("volume_shift"))

    @classmethod
    def from_json(cls, path):
        """Reads a fluid file (the format of ``phase-envelope --fluid``)."""
        with open(path, encoding="utf-8") as f:
            try:
                return cls.from_dict(json.load(f))
            except (KeyError, TypeError, json.JSONDecodeError) as e:
                raise ValueError(f"{path}: not a fluid file ({e})") from None

    def to_dict(self):
        d = {"components": [dict(c) for c in self.components]}
        if self.eos is not None:
            d["eos"] = self.eos
        if self.kij:
            d["kij"] = [dict(k) for k in self.kij]
        if self.volume_shift is not None:
            d["volume_shift"] = self.volume_shift
        return d

    def __reduce__(self):
        return (Fluid.from_dict, (self.to_dict(),))

    def __eq__(self, other):
        return isinstance(other, Fluid) and self.to_dict() == other.to_dict()

    def __repr__(self):
        feed = ", ".join(f"{c['name']} {c.get('z')}" for c in self.components)
        return f"Fluid({feed})"


def _kij_text(kij):
    """--kij's text: None (database), 'zero', or {('a', 'b'): value}."""
    if kij is None:
        return ""
    if isinstance(kij, str):
        return kij
    if isinstance(kij, dict):
        parts = []
        for pair, value in kij.items():
            if not (isinstance(pair, tuple) and len(pair) == 2):
                raise ValueError(f"kij: key {pair!r} is not a pair of compound names")
            parts.append(f"{pair[0]}:{pair[1]}={float(value)!r}")
        return ",".join(parts)
    raise ValueError("kij: expected None, 'zero' or {(name, name): value}")


def _arguments(feed, eos, kij):
    """(fluid text, is a fluid file, eos, kij): a dict goes as --feed's text
    (so that its mistakes read as the command line reports them), a Fluid as a
    fluid file's."""
    eos_text = "" if eos is None else str(eos)
    if isinstance(feed, Fluid):
        return json.dumps(feed.to_dict()), True, eos_text, _kij_text(kij)
    if not isinstance(feed, dict) or not feed:
        raise ValueError("feed: expected a non-empty dict {name: mole fraction} or a Fluid")
    for name in feed:
        if not isinstance(name, str) or any(c in name for c in ",="):
            raise ValueError(f"feed: compound name {name!r} must be a string without ',' or '='")
    text = ",".join(f"{name}={float(z)!r}" for name, z in feed.items())
    return text, False, eos_text, _kij_text(kij)


def _pair(p):
    return None if p is None else (p["T_K"], p["P_kPa"])


class Envelope:
    """One envelope: ``status`` (Execute's HRESULT), the stored points in store
    order as NumPy arrays (``points["T_K"]`` ... or the attributes ``type``,
    ``kind``, ``T_K``, ``P_kPa``, ``H``, ``S``, ``V``; NaN where the JSON output
    has null: a value the calculation left undefined), the special points as ``(T_K, P_kPa)``, ``elapsed_ms`` and
    ``host_calls``."""

    def __init__(self, d):
        self._d = d
        points = d["points"]
        # The HRESULT as a signed 32-bit value: negative when Execute failed.
        status = int(d["status"], 16)
        self.status = status - (1 << 32) if status >= (1 << 31) else status
        self.type = np.array([p["type"] for p in points], dtype=int)
        self.kind = [p["kind"] for p in points]
        self.points = {"type": self.type, "kind": self.kind}
        for key in ("T_K", "P_kPa", "H", "S", "V"):
            column = np.array([math.nan if p[key] is None else p[key] for p in points],
                              dtype=float)
            self.points[key] = column
            setattr(self, key, column)
        self.critical = _pair(d["critical"])
        self.cricondenbar = _pair(d["cricondenbar"])
        self.cricondentherm = _pair(d["cricondentherm"])
        self.three_phase_points = [_pair(p) for p in d["three_phase_points"]]
        self.three_phase_critical = [_pair(p) for p in d["three_phase_critical"]]
        self.incomplete = list(d.get("incomplete", []))
        self.elapsed_ms = d.get("elapsed_ms")
        self.host_calls = d.get("host_calls")

    def to_dict(self):
        """The command line's JSON output as a dict (with ``host_calls``)."""
        return json.loads(json.dumps(self._d))

    @classmethod
    def from_dict(cls, d):
        return cls(d)

    def __reduce__(self):
        return (Envelope.from_dict, (self.to_dict(),))

    def __len__(self):
        return len(self.kind)

    def __repr__(self):
        return (f"Envelope({len(self)} points, status 0x{self.status & 0xFFFFFFFF:08X}, "
                f"critical {self.critical})")

    def curve(self, axes="PT"):
        """One of the seven two-column curves ("PT", "PV", "PH", "PS", "TV",
        "TH", "TS"): an (n, 2) array, one row per stored point."""
        if axes not in _CURVE_COLUMNS:
            raise ValueError(f"axes '{axes}': expected one of {', '.join(_CURVE_COLUMNS)}")
        x, y = _CURVE_COLUMNS[axes]
        return np.column_stack((self.points[x], self.points[y]))

    def plot(self, ax=None, axes="PT", label=None):
        """Draws the curve on a matplotlib axes (a new figure's when None):
        each kind of point as its own line, the special points marked.
        Returns the axes."""
        try:
            import matplotlib.pyplot as plt
        except ImportError:
            raise ImportError("Envelope.plot needs matplotlib (Debian: python3-matplotlib)") from None
        if ax is None:
            _, ax = plt.subplots()
        xy = self.curve(axes)
        # The plot runs along the y axis's quantity against the x's, as
        # engineers draw P against T.
        x_key, y_key = _CURVE_COLUMNS[axes]
        kinds = {}
        for i, kind in enumerate(self.kind):
            kinds.setdefault(kind, []).append(i)
        for kind, rows in kinds.items():
            rows = [r for r in rows if np.isfinite(xy[r]).all()]
            if not rows:
                continue
            name = kind if label is None else f"{label}: {kind}"
            if len(rows) == 1:
                ax.plot(xy[rows, 1], xy[rows, 0], "o", label=name)
            else:
                ax.plot(xy[rows, 1], xy[rows, 0], "-", label=name)
        ax.set_xlabel(_LABELS[y_key])
        ax.set_ylabel(_LABELS[x_key])
        ax.legend(fontsize="small")
        return ax


def envelope(feed, eos=None, provider="host", kij=None):
    """The whole phase envelope of ``feed`` (``{name: z}`` or a Fluid).

    ``eos``: "PR" or "SRK" (default: the fluid's, else PR); ``provider``:
    "host" (the host's property and flash managers) or "app" (the
    application-side provider); ``kij``: None (database values), "zero", or
    ``{("methane", "n-decane"): 0.04, ...}``. Bad input raises ValueError; an
    Execute that fails raises CalculationError with the points stored so far.
    """
    d = json.loads(_core.envelope(*_arguments(feed, eos, kij), str(provider)))
    env = Envelope(d)
    if d.get("left_alive", 0) != 0:
        raise RuntimeError(f"{d['left_alive']} COM objects outlived the calculation")
    if env.status < 0:
        raise CalculationError(
            f"the envelope calculation failed (Execute returned 0x{env.status & 0xFFFFFFFF:08X})",
            env.status, env)
    return env


def envelopes(feeds, threads=None, **options):
    """The envelopes of many feeds, in order, on ``threads`` worker threads
    (default: the machine's cores). Each calculation runs in its thread's own
    apartment with its own reference host and utility, without the
    interpreter's lock; results are identical to one-at-a-time calls. Errors
    are raised as ``envelope`` raises them, for the first feed that fails."""
    feeds = list(feeds)
    workers = threads or os.cpu_count() or 1
    if workers <= 1 or len(feeds) <= 1:
        return [envelope(f, **options) for f in feeds]
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(lambda f: envelope(f, **options), feeds))


def flash(feed, T=None, P=None, vf=None, eos=None, kij=None):
    """A PT flash (``T`` K and ``P`` kPa) or a saturation flash (``P`` kPa and
    vapour fraction ``vf``): a dict with ``T_K``, ``P_kPa`` and ``phases`` (type,
    fraction, Z, V, H, S, composition), as ``phase-envelope flash --format json``
    prints it."""
    if P is None:
        raise ValueError("flash needs P (kPa)")
    if (T is None) == (vf is None):
        raise ValueError("flash needs T (PT flash) or vf (saturation flash), not both")
    t = math.nan if T is None else float(T)
    v = math.nan if vf is None else float(vf)
    try:
        return json.loads(_core.flash(*_arguments(feed, eos, kij), t, float(P), v))
    except _core.CalculationFailure as e:
        raise CalculationError(str(e)) from None


def critical(feed, eos=None, kij=None):
    """Every root of the feed's critical conditions: a list of dicts with
    ``T_K``, ``P_kPa`` and ``on_envelope`` (the root where the feed is stable)."""
    try:
        return json.loads(_core.critical(*_arguments(feed, eos, kij)))
    except _core.CalculationFailure as e:
        raise CalculationError(str(e)) from None


def compounds():
    """The compound database: a list of dicts (name, aliases, id, M, Tc_K,
    Pc_kPa, omega)."""
    return json.loads(_core.compounds())
