"""mxplugin: friction models for sheet-metal forming simulation, from Python.

Pure Python over ctypes; numpy, when installed, gives arrays of contact
states. The shared library is found through the MXPLUGIN_LIBRARY environment
variable (its path), then beside this package, then the system's search.

    import mxplugin
    with mxplugin.Module.load("data/demo.mxd", prepare=True) as m:
        mu = m.package_value(mxplugin.Package.FRICTION, pressure=[10.0, 50.0])
"""

from ._native import (LIBRARY_MAJOR_VERSION, LibraryNotFoundError, MorvexError, MorvexInputRecord,
                      find_library_path, load_library)
from .module import STATE_FIELDS, Module, Package

__all__ = [
    "LIBRARY_MAJOR_VERSION",
    "LibraryNotFoundError",
    "Module",
    "MorvexError",
    "MorvexInputRecord",
    "Package",
    "STATE_FIELDS",
    "find_library_path",
    "load_library",
]
