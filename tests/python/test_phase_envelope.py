"""The phase_envelope module against the phase-envelope program: the same
numbers bit for bit, the same messages, nothing left alive; its objects,
pickling, parallel runs and the dask example."""

import json
import math
import os
import pickle
import subprocess
import sys

import numpy as np
import pytest

import phase_envelope as pe

CLI = os.environ.get("PE_CLI", "phase-envelope")
EXAMPLES = os.environ.get("PE_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..",
                                                     "examples"))

DRY_GAS = {"nitrogen": 0.0034, "carbon dioxide": 0.022, "methane": 0.834, "ethane": 0.076,
           "propane": 0.033, "isobutane": 0.006, "n-butane": 0.011, "isopentane": 0.004,
           "n-pentane": 0.004, "n-hexane": 0.0066}
WET_GAS = {"methane": 0.80, "ethane": 0.07, "propane": 0.04, "n-butane": 0.03, "n-pentane": 0.02,
           "n-hexane": 0.015, "n-heptane": 0.01, "n-octane": 0.005, "water": 0.01}
BINARY = {"methane": 0.5, "n-decane": 0.5}


def feed_text(feed):
    return ",".join(f"{name}={z!r}" for name, z in feed.items())


def run_cli(*args):
    r = subprocess.run([CLI, *args], capture_output=True, text=True)
    return r.returncode, r.stdout, r.stderr


def cli_json(*args):
    status, out, err = run_cli(*args, "--format", "json")
    assert status == 0, err
    return json.loads(out)


def without_timing(d):
    return {k: v for k, v in d.items() if k not in ("elapsed_ms", "host_calls", "left_alive")}


@pytest.fixture(autouse=True)
def nothing_left_alive():
    yield
    assert pe._core.live_objects() == 0


@pytest.mark.parametrize("feed,args", [
    (DRY_GAS, []),
    (WET_GAS, []),
    (BINARY, []),
    (BINARY, ["--provider", "app"]),
    (DRY_GAS, ["--kij", "zero", "--eos", "SRK"]),
])
def test_envelope_equals_the_command_lines_json(feed, args):
    expected = cli_json("--feed", feed_text(feed), *args)
    options = {}
    if "--provider" in args:
        options["provider"] = args[args.index("--provider") + 1]
    if "--kij" in args:
        options["kij"] = args[args.index("--kij") + 1]
    if "--eos" in args:
        options["eos"] = args[args.index("--eos") + 1]
    env = pe.envelope(feed, **options)
    assert without_timing(env.to_dict()) == without_timing(expected)
    # The arrays are the points, in store order.
    points = expected["points"]
    assert len(env) == len(points) > 20
    np.testing.assert_array_equal(env.T_K, [p["T_K"] for p in points])
    np.testing.assert_array_equal(env.points["H"],
                                  [math.nan if p["H"] is None else p["H"] for p in points])
    assert env.kind == [p["kind"] for p in points]
    assert env.critical == (None if expected["critical"] is None else
                            (expected["critical"]["T_K"], expected["critical"]["P_kPa"]))
    assert env.host_calls > 1000 and env.elapsed_ms > 0
    assert env.status == 0


def test_curves_are_the_command_lines_curves():
    env = pe.envelope(BINARY)
    for axes in ("PT", "PV", "PH", "PS", "TV", "TH", "TS"):
        status, out, err = run_cli("--feed", feed_text(BINARY), "--curves", "--axes", axes,
                                   "--format", "json")
        assert status == 0, err
        parsed = json.loads(out)
        rows = parsed["points"] if isinstance(parsed, dict) else parsed
        curve = env.curve(axes)
        assert curve.shape == (len(env), 2)
        want = np.array([[math.nan if v is None else v for k, v in r.items()
                          if k not in ("type", "kind")] for r in rows], dtype=float)
        np.testing.assert_array_equal(curve, want, err_msg=axes)
    with pytest.raises(ValueError, match="axes 'XY'"):
        env.curve("XY")


def test_three_phase_results_of_the_wet_gas():
    env = pe.envelope(WET_GAS)
    assert len(env.three_phase_points) == 1
    t, p = env.three_phase_points[0]
    assert 300 < t < 400 and 5000 < p < 12000
    assert "three-phase bubble boundary" in env.kind or "liquid-liquid boundary" in env.kind
    # Undefined values (the critical end points' H) are NaN, defined ones finite.
    assert np.isnan(env.H).sum() == sum(k == "three-phase critical point" for k in env.kind)


def test_envelopes_and_fluids_pickle():
    env = pe.envelope(BINARY)
    again = pickle.loads(pickle.dumps(env))
    assert again.to_dict() == env.to_dict()
    np.testing.assert_array_equal(again.P_kPa, env.P_kPa)
    fluid = pe.Fluid([{"name": "methane", "z": 0.7},
                      {"name": "C7+", "z": 0.3, "Tc": 540.0, "Pc": 2700.0, "omega": 0.35,
                       "mw": 100.2}], eos="SRK", kij=[{"i": "methane", "j": "C7+", "value": 0.03}])
    assert pickle.loads(pickle.dumps(fluid)) == fluid


def test_fluid_files_and_user_compounds(tmp_path):
    fluid = {"eos": "SRK",
             "components": [{"name": "methane", "z": 0.7},
                            {"name": "C7+", "z": 0.3, "Tc": 540.0, "Pc": 2700.0, "omega": 0.35,
                             "mw": 100.2}],
             "kij": [{"i": "methane", "j": "C7+", "value": 0.03}]}
    path = tmp_path / "fluid.json"
    path.write_text(json.dumps(fluid))
    env = pe.envelope(pe.Fluid.from_json(path))
    expected = cli_json("--fluid", str(path))
    assert without_timing(env.to_dict()) == without_timing(expected)
    assert expected["eos"] == "SRK"


def test_kij_overrides_as_the_command_line_takes_them():
    env = pe.envelope(BINARY, kij={("methane", "n-decane"): 0.04})
    expected = cli_json("--feed", feed_text(BINARY), "--kij", "methane:n-decane=0.04")
    assert without_timing(env.to_dict()) == without_timing(expected)
    assert env.to_dict() != pe.envelope(BINARY).to_dict()


def test_flash_critical_and_compounds_equal_the_commands():
    got = pe.flash(BINARY, T=300.0, P=5000.0)
    assert got == cli_json("flash", "--feed", feed_text(BINARY), "--T", "300", "--P", "5000")
    assert len(got["phases"]) == 2
    sat = pe.flash(BINARY, P=3000.0, vf=0.0)
    assert sat == cli_json("flash", "--feed", feed_text(BINARY), "--P", "3000", "--vf", "0")
    assert pe.critical(BINARY) == cli_json("critical", "--feed", feed_text(BINARY))
    assert sum(r["on_envelope"] for r in pe.critical(BINARY)) == 1
    assert pe.compounds() == cli_json("compounds")


@pytest.mark.parametrize("call,cli_args", [
    (lambda: pe.envelope({"unobtainium": 1.0}), ["--feed", "unobtainium=1"]),
    (lambda: pe.envelope({"methane": -0.5, "ethane": 1.0}), ["--feed", "methane=-0.5,ethane=1"]),
    (lambda: pe.envelope(BINARY, eos="VdW"), ["--feed", feed_text(BINARY), "--eos", "VdW"]),
    (lambda: pe.envelope(BINARY, kij={("methane", "xenon"): 0.1}),
     ["--feed", feed_text(BINARY), "--kij", "methane:xenon=0.1"]),
])
def test_bad_input_raises_value_error_with_the_command_lines_message(call, cli_args):
    status, out, err = run_cli(*cli_args)
    assert status == 2
    message = err.strip().removeprefix("phase-envelope: ")
    with pytest.raises(ValueError) as raised:
        call()
    assert str(raised.value) == message


def test_a_failed_calculation_raises_calculation_error():
    status, out, err = run_cli("flash", "--feed", feed_text(BINARY), "--P", "30000", "--vf", "0")
    assert status == 1
    with pytest.raises(pe.CalculationError) as raised:
        pe.flash(BINARY, P=30000.0, vf=0.0)
    assert str(raised.value) == err.strip().removeprefix("phase-envelope: ")
    with pytest.raises(ValueError):
        pe.flash(BINARY, T=300.0, P=5000.0, vf=0.5)
    with pytest.raises(ValueError):
        pe.envelope(BINARY, provider="remote")


def test_many_feeds_in_parallel_equal_one_at_a_time():
    feeds = [{"methane": 0.5 + 0.02 * k, "n-butane": 0.3 - 0.01 * k, "n-decane": 0.2 - 0.01 * k}
             for k in range(6)]
    one = [pe.envelope(f) for f in feeds]
    many = pe.envelopes(feeds, threads=2)
    assert [without_timing(e.to_dict()) for e in many] == [without_timing(e.to_dict()) for e in one]


def test_threads_calling_at_once_take_turns_and_agree():
    import concurrent.futures
    feeds = [BINARY, {"methane": 0.6, "n-decane": 0.4}, BINARY, {"methane": 0.7, "propane": 0.3}]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        threaded = list(pool.map(pe.envelope, feeds))
    assert [without_timing(e.to_dict()) for e in threaded] == \
        [without_timing(pe.envelope(f).to_dict()) for f in feeds]


def test_plot_draws_each_kind_of_point():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    env = pe.envelope(WET_GAS)
    ax = env.plot(axes="PT")
    labels = [line.get_label() for line in ax.get_lines()]
    assert "dew" in labels and "three-phase point" in labels
    assert ax.get_xlabel() == "T / K" and ax.get_ylabel() == "P / kPa"


def test_plot_without_matplotlib_says_what_to_install(monkeypatch):
    env = pe.envelope(BINARY)
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    with pytest.raises(ImportError, match="python3-matplotlib"):
        env.plot()


def test_dask_example_on_a_local_cluster_equals_sequential_calls():
    pytest.importorskip("distributed")
    sys.path.insert(0, EXAMPLES)
    try:
        import dask_envelopes
    finally:
        sys.path.pop(0)
    feeds = dask_envelopes.feeds(32)
    remote = dask_envelopes.run(feeds, workers=2, progress=False)
    local = [pe.envelope(f) for f in feeds]
    assert [without_timing(e.to_dict()) for e in remote] == \
        [without_timing(e.to_dict()) for e in local]
    assert all(e.critical is not None for e in local)
    assert "methane" in dask_envelopes.table(feeds, local)
