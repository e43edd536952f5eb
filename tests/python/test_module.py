# Guards against failures that pass silently or blame the wrong call, a
# closed module that still reaches the library, broadcast results in the wrong
# order or shape, the library lookup taking the wrong library, and a README
# example that no longer runs.
import math
import os
import pathlib
import re
import shutil
import subprocess
import sys
import types

import pytest
from conftest import DEMO, ROOT, mxplugin


@pytest.fixture(scope="module")
def demo():
    with mxplugin.Module.load(DEMO, prepare=True) as m:
        yield m


def failures(tmp_path, demo):
    garbage = tmp_path / "garbage.mxd"
    garbage.write_bytes(b"not a data file" * 10)
    return [
        (lambda: mxplugin.Module.load(tmp_path / "missing.mxd"), "Morvex_LoadFile", "no such file"),
        (lambda: mxplugin.Module.load(garbage), "Morvex_LoadFile", "mxtool check"),
        (lambda: mxplugin.Module.from_blob(b"\x03junk"), "Morvex_DeserializeAndPrepareSolverData",
         "mxtool check"),
        (lambda: mxplugin.Module.from_blob(b"", prepare=False), "Morvex_DeserializeModule", "not a module"),
        (lambda: mxplugin.Module.load(DEMO).package_value(3), "Morvex_GetPackageValue", "not prepared"),
        (lambda: demo.package_value(1), "Morvex_GetPackageValue", "package_average"),
        (lambda: demo.surface_roughness(sheetRoughness=math.nan), "Morvex_GetSurfaceRoughness", "NaN"),
        (lambda: demo.wear_indicator(toolRoughness=[0.3, 0.3, math.nan]), "Morvex_GetWearIndicator",
         "at point 2"),
    ]


def test_a_failed_call_raises_naming_it(tmp_path, demo):
    for action, call, reason in failures(tmp_path, demo):
        with pytest.raises(mxplugin.MorvexError) as caught:
            action()
        assert caught.value.call == call and reason in str(caught.value)


def test_misuse_is_refused_before_the_library_sees_it(demo):
    with pytest.raises(TypeError, match="sheetroughness"):
        demo.package_value(3, sheetroughness=1.0)
    with pytest.raises(ValueError):
        demo.package_value(-1)
    m = mxplugin.Module.load(DEMO)
    with m:
        pass
    assert m.closed
    with pytest.raises(ValueError, match="closed"):
        m.pressure_range


def test_broadcast_arrays_keep_shape_and_order(demo, arrays):
    pressure, lube = [0.0, 50.0], [0.5, 1.0, 2.0]
    if arrays == "numpy":
        import numpy
        grid = demo.package_value(3, pressure=numpy.array(pressure)[:, None], lubricationAmount=lube)
        assert grid.shape == (2, 3)
        grid = grid.tolist()
    else:
        with pytest.raises(ValueError, match="same length"):
            demo.package_value(3, pressure=pressure, lubricationAmount=lube)
        grid = [demo.package_value(3, pressure=[p] * 3, lubricationAmount=lube) for p in pressure]
    assert grid == [[demo.package_value(3, pressure=p, lubricationAmount=a) for a in lube]
                    for p in pressure]
    # Two results: below the axis the capped amount is the input's, not the value's.
    capped, amount = demo.lubrication_amount(lubricationAmount=[0.2, 2.0])
    assert list(zip(capped, amount)) == [demo.lubrication_amount(lubricationAmount=a) for a in (0.2, 2.0)]
    assert capped[0] < amount[0]


@pytest.mark.parametrize("layout", ["variable", "beside", "installed", "system"])
def test_library_lookup_order(tmp_path, layout):
    built = pathlib.Path(mxplugin.find_library_path()[0]).resolve()
    package = ROOT / "python" / "mxplugin"
    home = tmp_path / ("share/mxplugin/python" if layout == "installed" else "site")
    shutil.copytree(package, home / "mxplugin", ignore=shutil.ignore_patterns("__pycache__"))
    libs = {"beside": home / "mxplugin", "installed": tmp_path / "lib", "system": tmp_path / "ld",
            "variable": home}[layout]
    libs.mkdir(parents=True, exist_ok=True)
    shutil.copy(built, libs / f"libmxplugin.so.{mxplugin.LIBRARY_MAJOR_VERSION}")
    env = {k: v for k, v in os.environ.items() if k not in ("MXPLUGIN_LIBRARY", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(home)
    if layout == "variable":  # wins over the library beside the package
        env["MXPLUGIN_LIBRARY"] = str(tmp_path / "nowhere.so")
    if layout == "system":
        env["LD_LIBRARY_PATH"] = str(libs)
    result = subprocess.run(
        [sys.executable, "-c", "import mxplugin; p, o = mxplugin.find_library_path(); "
         "print(o); mxplugin.load_library()"], env=env, capture_output=True, text=True)
    origin = {"variable": "MXPLUGIN_LIBRARY", "beside": "beside the package",
              "installed": "beside the package", "system": "system search"}[layout]
    assert result.stdout.strip() == origin
    assert (result.returncode != 0) == (layout == "variable"), result.stderr
    if layout == "variable":
        assert "LibraryNotFoundError" in result.stderr and "nowhere.so" in result.stderr


def test_readme_example_plots_friction_over_pressure(monkeypatch):
    pytest.importorskip("numpy")
    readme = (ROOT / "README.md").read_text()
    code = re.search(r"```python\n(.*?)```", readme, re.S).group(1)
    assert len(code.strip().splitlines()) == 5
    plotted = []
    pyplot = types.SimpleNamespace(plot=lambda x, y: plotted.append((list(x), list(y))),
                                   xlabel=print, ylabel=print, savefig=print)
    monkeypatch.setitem(sys.modules, "matplotlib", types.SimpleNamespace(pyplot=pyplot))
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", pyplot)
    monkeypatch.chdir(ROOT)
    exec(compile(code, "README.md", "exec"), {})
    (x, y), = plotted
    with mxplugin.Module.load(DEMO, prepare=True) as m:
        assert y == [m.package_value(3, pressure=p) for p in x] and x[0] < x[-1]
