# Shared fixtures: the built library, mxtool, the example host and the data
# files, taken from the environment ctest sets, else from build/. A missing
# program is an error, never a skip, so a broken setup cannot pass.
import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
DEMO = ROOT / "data" / "demo.mxd"

os.environ.setdefault("MXPLUGIN_LIBRARY", str(BUILD / "libmxplugin.so"))
sys.path.insert(0, str(ROOT / "python"))

import mxplugin  # noqa: E402


def program(variable, default):
    path = pathlib.Path(os.environ.get(variable, default))
    if not path.is_file():
        pytest.fail(f"{path} not found (build it, or set {variable})")
    return str(path)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


@pytest.fixture(params=["numpy", "lists"])
def arrays(request, monkeypatch):
    """Runs a test once with numpy arrays and once with the list fallback."""
    if request.param == "numpy":
        pytest.importorskip("numpy")
    else:
        monkeypatch.setattr(mxplugin.module, "_np", None)
    return request.param
