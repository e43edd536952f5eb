"""The shared library: where it is found, and the ctypes declarations of its
42 functions, each exactly as include/mxplugin/mxplugin.h declares it."""

import array
import ctypes
import ctypes.util
import os
import sys
import threading

# The major version of the library this package speaks to: the SONAME of an
# installed Linux library is libmxplugin.so.<major>.
LIBRARY_MAJOR_VERSION = 0


class MorvexError(RuntimeError):
    """A call into the plug-in failed. `call` names the C function (or the
    library lookup) that failed."""

    def __init__(self, call, message):
        super().__init__(f"{call}: {message}")
        self.call = call


class LibraryNotFoundError(MorvexError, OSError):
    """The shared library could not be found or loaded."""


class MorvexInputRecord(ctypes.Structure):
    """The contact state of one evaluation, laid out as the C record."""

    _fields_ = [
        ("pressure", ctypes.c_double),
        ("strain", ctypes.c_double),
        ("sheetTemperature", ctypes.c_double),
        ("toolTemperature", ctypes.c_double),
        ("velocity", ctypes.c_double),
        ("directionCosine", ctypes.c_double),
        ("stateValue", ctypes.c_double),
        ("sheetRoughness", ctypes.c_double),
        ("lubricationAmount", ctypes.c_double),
        ("toolRoughness", ctypes.c_double),
        ("useDirectionDependency", ctypes.c_uint32),
        ("temperatureMode", ctypes.c_uint32),
    ]


class MorvexProperty(ctypes.Structure):
    _fields_ = [("key", ctypes.POINTER(ctypes.c_uint16)), ("value", ctypes.POINTER(ctypes.c_uint16))]


if ctypes.sizeof(MorvexInputRecord) != 88:  # the C record has no gaps
    raise ImportError("MorvexInputRecord is not 88 bytes on this platform")

_u32 = ctypes.c_uint32
_f64 = ctypes.c_double
_pu32 = ctypes.POINTER(ctypes.c_uint32)
_pf64 = ctypes.POINTER(ctypes.c_double)
_module = ctypes.c_void_p  # MorvexModule*, opaque
_record = MorvexInputRecord
_pprops = ctypes.POINTER(ctypes.POINTER(MorvexProperty))

# name: (result type, argument types)
_PROTOTYPES = {
    "LoadFile": (_u32, [ctypes.c_char_p, ctypes.POINTER(_module)]),
    "SerializeModule": (
        _u32,
        [_module, ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8)), ctypes.POINTER(ctypes.c_uint64)],
    ),
    "FreeBlob": (None, [ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8))]),
    "DeserializeModule": (_u32, [ctypes.c_char_p, ctypes.c_int32, ctypes.POINTER(_module)]),
    "PrepareSolverData": (_u32, [ctypes.POINTER(_module)]),
    "DeserializeAndPrepareSolverData": (_u32, [ctypes.c_char_p, ctypes.c_int32, ctypes.POINTER(_module)]),
    "FreeModule": (None, [_module]),
    "SetNodalInput": (_u32, [ctypes.POINTER(_record)] + [_f64] * 7),
    "SetSystemInput": (_u32, [ctypes.POINTER(_record), _u32, _f64, _f64, _f64, _u32]),
    "GetIsToolTempEqual": (_u32, [_module, _pu32]),
    "GetSolverID": (_u32, [_module, ctypes.POINTER(ctypes.POINTER(ctypes.c_uint16))]),
    "CheckPackageAvailability": (_u32, [_module, _u32, _pu32]),
    "CheckProductionPackageAvailability": (_u32, [_module, _pu32]),
    "GetPackageValue": (_u32, [_module, _record, _u32, _pf64]),
    "GetPackageAverage": (_u32, [_module, _record, _u32, _pf64]),
    "GetSurfaceRoughness": (_u32, [_module, _record, _f64, _pf64]),
    "GetRealContactArea": (_u32, [_module, _record, _f64, _pf64]),
    "GetHistoryParameter": (_u32, [_module, _record, _f64, _pf64]),
    "GetLubricationAmount": (_u32, [_module, _record, _f64, _pf64, _pf64]),
    "GetSpotLubeIndicator": (_u32, [_module, _record, _f64, _pf64]),
    "GetGallingIndicator": (_u32, [_module, _record, _f64, _f64, _pf64]),
    "GetWearIndicator": (_u32, [_module, _record, _f64, _f64, _pf64]),
    "GetProductionVolume": (_u32, [_module, _record, _pf64, _pf64, _pf64]),
    "GetHeatTransferCoefficient": (_u32, [_module, _record, _f64, _pf64]),
}
for _name in ("Pressure", "Strain", "Temperature", "Velocity", "SheetRoughness", "LubricationAmount",
              "ToolRoughness"):
    _PROTOTYPES[f"Get{_name}Range"] = (_u32, [_module, _pf64, _pf64])
for _name in ("SheetRoughness", "LubricationAmount", "ToolRoughness"):
    _PROTOTYPES[f"GetNominal{_name}"] = (_u32, [_module, _pf64])
for _name in ("StrainRoughening", "StaticFriction", "ToolWear", "DirectionDependency", "HeatTransferCoefficient"):
    _PROTOTYPES[f"Get{_name}Status"] = (_u32, [_module, _pu32])
for _name in ("Workpiece", "Lubricant", "Tooling"):
    _PROTOTYPES[f"Get{_name}Properties"] = (_u32, [_module, _pprops, _pu32])
assert len(_PROTOTYPES) == 42


def _library_names():
    if sys.platform == "win32":
        return ["mxplugin.dll"]
    if sys.platform == "darwin":
        return ["libmxplugin.dylib"]
    return ["libmxplugin.so", f"libmxplugin.so.{LIBRARY_MAJOR_VERSION}"]


def _directories_beside_package():
    """The package's own folder and the one holding it; and, for a package
    installed under <prefix>/share/mxplugin/python, the prefix's library
    folders."""
    package = os.path.dirname(os.path.abspath(__file__))
    folders = [package, os.path.dirname(package)]
    parts = package.replace("\\", "/").split("/")
    if parts[-4:-1] == ["share", "mxplugin", "python"]:
        prefix = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(package))))
        folders.append(os.path.join(prefix, "bin" if sys.platform == "win32" else "lib"))
        multiarch = getattr(sys.implementation, "_multiarch", None)
        if multiarch:
            folders.append(os.path.join(prefix, "lib", multiarch))
        folders.append(os.path.join(prefix, "lib64"))
    return folders


def _open(path):
    library = ctypes.CDLL(path)
    for name, (result, arguments) in _PROTOTYPES.items():
        function = getattr(library, "Morvex_" + name)
        function.restype = result
        function.argtypes = arguments
    return library


def find_library_path():
    """Where load_library() looks: (path or bare name, how it was chosen).
    MXPLUGIN_LIBRARY first, then a library beside the package, then the
    system's search; the last answers a bare name that the dynamic loader
    resolves (LD_LIBRARY_PATH, the loader cache)."""
    explicit = os.environ.get("MXPLUGIN_LIBRARY")
    if explicit:
        return explicit, "MXPLUGIN_LIBRARY"
    for folder in _directories_beside_package():
        for name in _library_names():
            candidate = os.path.join(folder, name)
            if os.path.isfile(candidate):
                return candidate, "beside the package"
    found = ctypes.util.find_library("mxplugin")
    if found:
        return found, "system search"
    return _library_names()[-1], "system search"


_lock = threading.Lock()
_library = None


def load_library():
    """The shared library with its 42 functions declared, opened once."""
    global _library
    with _lock:
        if _library is None:
            path, origin = find_library_path()
            try:
                _library = _open(path)
            except (OSError, AttributeError) as error:
                raise LibraryNotFoundError(
                    "library lookup", f"cannot use {path} ({origin}): {error}; "
                    "set MXPLUGIN_LIBRARY to the path of the mxplugin library") from error
        return _library


def function(name):
    """Morvex_<name> of the loaded library."""
    return getattr(load_library(), "Morvex_" + name)


def utf16_text(pointer):
    """A NUL-terminated UTF-16 string the library lends, as str (None for a
    null pointer)."""
    if not pointer:
        return None
    units = array.array("H")
    while pointer[len(units)]:
        units.append(pointer[len(units)])
    return units.tobytes().decode("utf-16-" + ("le" if sys.byteorder == "little" else "be"), "surrogatepass")
