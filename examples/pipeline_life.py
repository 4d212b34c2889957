"""Envelopes of a gas over its production life on one P-T diagram: the
picture README shows.

    PYTHONPATH=build/python python3 examples/pipeline_life.py docs/images/python_envelopes.png
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import phase_envelope as pe  # noqa: E402
from dask_envelopes import feeds  # noqa: E402

fig, ax = plt.subplots(figsize=(7, 5))
for k, env in zip((0, 10, 20, 31), pe.envelopes([feeds()[k] for k in (0, 10, 20, 31)])):
    xy = env.curve("PT")
    line, = ax.plot(xy[:, 1], xy[:, 0] / 1000.0, label=f"year {k}")
    if env.critical:
        ax.plot(env.critical[0], env.critical[1] / 1000.0, "o", color=line.get_color())
ax.set_xlabel("T / K")
ax.set_ylabel("P / MPa")
ax.set_title("Dew and bubble curves as the gas gets heavier (o: critical point)")
ax.legend()
fig.savefig(sys.argv[1] if len(sys.argv) > 1 else "envelopes.png", dpi=100)
