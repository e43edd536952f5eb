# Guards against failures that pass silently or blame the wrong call, a
# closed module that still reaches the library, broadcast results in the wrong
# order or shape, the library lookup taking the wrong library, and a README
# example that no longer runs.
import math
import os
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


def test_a_failed_call_raises_naming_it_and_misuse_never_reaches_the_library(tmp_path, demo):
    garbage = tmp_path / "garbage.mxd"
    garbage.write_bytes(b"not a data file" * 10)
    with mxplugin.Module.load(DEMO) as closed:
        pass
    for action, error, call, reason in [
        (lambda: mxplugin.Module.load(tmp_path / "missing.mxd"), None, "Morvex_LoadFile", "no such file"),
        (lambda: mxplugin.Module.load(garbage), None, "Morvex_LoadFile", "mxtool check"),
        (lambda: mxplugin.Module.from_blob(b"\x03junk"), None, "Morvex_DeserializeAndPrepareSolverData",
         "mxtool check"),
        (lambda: mxplugin.Module.from_blob(b"", prepare=False), None, "Morvex_DeserializeModule", "not a module"),
        (lambda: mxplugin.Module.load(DEMO).package_value(3), None, "Morvex_GetPackageValue", "not prepared"),
        (lambda: demo.package_value(1), None, "Morvex_GetPackageValue", "package_average"),
        (lambda: demo.surface_roughness(sheetRoughness=math.nan), None, "Morvex_GetSurfaceRoughness", "NaN"),
        (lambda: demo.wear_indicator(toolRoughness=[0.3, 0.3, math.nan]), None, "Morvex_GetWearIndicator",
         "at point 2"),
        (lambda: demo.package_value(3, sheetroughness=1.0), TypeError, None, ""),
        (lambda: demo.package_value(-1), ValueError, None, ""),
        (lambda: closed.pressure_range, ValueError, None, ""),
    ]:
        with pytest.raises(error or mxplugin.MorvexError) as caught:
            action()
        assert getattr(caught.value, "call", None) == call and reason in str(caught.value)


def test_broadcast_arrays_keep_shape_and_order(demo, arrays):
    pressure, lube = [0.0, 50.0], [0.5, 1.0, 2.0]
    expected = [[demo.package_value(3, pressure=p, lubricationAmount=a) for a in lube] for p in pressure]
    if arrays == "numpy":
        assert demo.package_value(3, pressure=[[p] for p in pressure], lubricationAmount=lube).tolist() == expected
    else:
        pytest.raises(ValueError, lambda: demo.package_value(3, pressure=pressure, lubricationAmount=lube))
    # Two results, in order: below the axis the capped amount is the input's.
    capped, amount = demo.lubrication_amount(lubricationAmount=[0.2, 2.0])
    assert list(zip(capped, amount)) == [demo.lubrication_amount(lubricationAmount=a) for a in (0.2, 2.0)]
    assert capped[0] < amount[0]


# Where the library sits (or MXPLUGIN_LIBRARY points) -> the origin reported.
LAYOUTS = {"variable": ("site", "site", "MXPLUGIN_LIBRARY"),
           "beside": ("site", "site/mxplugin", "beside the package"),
           "installed": ("share/mxplugin/python", "lib", "beside the package"),
           "system": ("site", "ld", "system search")}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_library_lookup_order(tmp_path, layout):
    home, libs, origin = (LAYOUTS[layout][0], *LAYOUTS[layout][1:])
    shutil.copytree(ROOT / "python" / "mxplugin", tmp_path / home / "mxplugin",
                    ignore=shutil.ignore_patterns("__pycache__"))
    (tmp_path / libs).mkdir(parents=True, exist_ok=True)
    shutil.copy(mxplugin.find_library_path()[0], tmp_path / libs / "libmxplugin.so.0")
    env = {k: v for k, v in os.environ.items() if k not in ("MXPLUGIN_LIBRARY", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(tmp_path / home)
    if layout == "variable":  # wins over the library beside the package
        env["MXPLUGIN_LIBRARY"] = str(tmp_path / "nowhere.so")
    if layout == "system":
        env["LD_LIBRARY_PATH"] = str(tmp_path / libs)
    result = subprocess.run([sys.executable, "-c", "import mxplugin; print(mxplugin.find_library_path()[1]); "
                             "mxplugin.load_library()"], env=env, capture_output=True, text=True)
    assert result.stdout.strip() == origin
    failed = "LibraryNotFoundError" in result.stderr and "nowhere.so" in result.stderr
    assert (result.returncode != 0) == failed == (layout == "variable"), result.stderr


def test_readme_example_plots_friction_over_pressure(monkeypatch, demo):
    pytest.importorskip("numpy")
    code = re.search(r"```python\n(.*?)```", (ROOT / "README.md").read_text(), re.S).group(1)
    plotted = []
    pyplot = types.SimpleNamespace(plot=lambda x, y: plotted.append((list(x), list(y))),
                                   xlabel=print, ylabel=print, savefig=print)
    monkeypatch.setitem(sys.modules, "matplotlib", types.SimpleNamespace(pyplot=pyplot))
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", pyplot)
    monkeypatch.chdir(ROOT)
    exec(compile(code, "README.md", "exec"), {})
    (x, y), = plotted
    assert y == [demo.package_value(3, pressure=p) for p in x] and x[0] < x[-1]
