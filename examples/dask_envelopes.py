"""The phase envelopes of many feeds on a dask.distributed cluster.

    PYTHONPATH=build/python python3 examples/dask_envelopes.py            # a local cluster
    PYTHONPATH=build/python python3 examples/dask_envelopes.py tcp://scheduler:8786

Maps phase_envelope.envelope over a pipeline's life (methane falling, heavier
ends growing, as a field depletes), with a progress bar, and gathers the
results into one table: critical point, cricondenbar and cricondentherm of
each feed. Every worker needs the phase_envelope package on its PYTHONPATH
(the same build, or an install of it).

As a library: feeds() and run(feeds, address=None, workers=2) -> list of
Envelope, in the order of the feeds.
"""

import sys

import phase_envelope as pe


def feeds(n=32):
    """n compositions of a gas whose heavier ends grow as it is produced."""
    out = []
    for k in range(n):
        heavy = 0.02 + 0.002 * k
        out.append({
            "methane": 0.80 - 2.0 * heavy,
            "ethane": 0.08,
            "propane": 0.05 + 0.5 * heavy,
            "n-butane": 0.03 + 0.5 * heavy,
            "n-hexane": heavy,
            "n-decane": 0.04 + heavy - 0.5 * heavy,
        })
    return out


def run(feed_list, address=None, workers=2, progress=True):
    """The envelopes of feed_list on the cluster at `address`, or on a local
    cluster of `workers` single-threaded worker processes."""
    from dask.distributed import Client, LocalCluster, progress as show_progress

    cluster = None
    if address is None:
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        address = cluster
    try:
        with Client(address) as client:
            futures = client.map(pe.envelope, feed_list, pure=False)
            if progress:
                show_progress(futures)
                print(file=sys.stderr)
            return client.gather(futures)
    finally:
        if cluster is not None:
            cluster.close()


def table(feed_list, results):
    lines = [f"{'#':>3} {'methane':>8} {'Tc K':>9} {'Pc kPa':>10} {'bar kPa':>10} {'therm K':>9}"]
    for k, (feed, env) in enumerate(zip(feed_list, results)):
        crit = env.critical or (float("nan"), float("nan"))
        bar = env.cricondenbar or (float("nan"), float("nan"))
        therm = env.cricondentherm or (float("nan"), float("nan"))
        lines.append(f"{k:>3} {feed['methane']:>8.4f} {crit[0]:>9.2f} {crit[1]:>10.1f} "
                     f"{bar[1]:>10.1f} {therm[0]:>9.2f}")
    return "\n".join(lines)


if __name__ == "__main__":
    fs = feeds()
    results = run(fs, address=sys.argv[1] if len(sys.argv) > 1 else None)
    print(table(fs, results))
