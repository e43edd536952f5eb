"""A friction module of the plug-in as a Python object: its life cycle, its
getters, and every evaluation query, for one contact state or for arrays of
them."""

import ctypes
import enum
import math
import os
import sys

from . import _native
from ._native import MorvexError, MorvexInputRecord, MorvexProperty

try:
    import numpy as _np
except ImportError:  # lists instead of arrays
    _np = None

# The contact state keywords every query takes: the C record's fields.
STATE_FIELDS = tuple(name for name, _ in MorvexInputRecord._fields_)
_DOUBLE_FIELD_COUNT = 10  # then the two u32 mode words
if _np is not None:
    _RECORD_DTYPE = _np.dtype([(name, "=f8" if i < _DOUBLE_FIELD_COUNT else "=u4")
                               for i, name in enumerate(STATE_FIELDS)])


class Package(enum.IntEnum):
    """Package ids. Package 3 holds the friction coefficient; hosts read it by
    number only (package_value / package_average)."""

    SURFACE_ROUGHNESS = 0
    FRICTION = 3
    REAL_CONTACT_AREA = 4
    LUBRICATION_AMOUNT = 5
    HEAT_TRANSFER = 6
    SPOT_LUBRICATION = 7
    GALLING = 8
    WEAR = 9
    PRODUCTION_FIRST = 10
    PRODUCTION_SECOND = 11


def _is_array(value):
    if type(value) in (float, int, bool) or value is None:
        return False
    if isinstance(value, (str, bytes, bytearray)):
        return False
    ndim = getattr(value, "ndim", None)
    if ndim is not None:
        return ndim > 0
    return hasattr(value, "__len__")


def _points(values):
    """The contact states and extra arguments of every point of the
    arguments broadcast together: (records, extra columns, result shape).
    numpy broadcasts by its rules and fills the records column by column;
    without it, sequences must be flat and of one length, scalars repeat."""
    n = len(STATE_FIELDS)
    if _np is not None:
        arrays = _np.broadcast_arrays(*[_np.asarray(v) for v in values])
        table = _np.empty(arrays[0].size, dtype=_RECORD_DTYPE)
        for name, column in zip(STATE_FIELDS, arrays):
            table[name] = column.ravel()
        records = (MorvexInputRecord * table.size).from_buffer(table)
        return records, [a.ravel().tolist() for a in arrays[n:]], arrays[0].shape
    lengths = {len(v) for v in values if _is_array(v)}
    if len(lengths) != 1:
        raise ValueError(f"sequences of different lengths {sorted(lengths)} (without numpy, "
                         "every sequence argument must have the same length)")
    (length,) = lengths
    columns = [list(v) if _is_array(v) else [v] * length for v in values]
    if any(_is_array(x) for column in columns for x in column):
        raise TypeError("nested sequences need numpy; pass flat sequences")
    records = list(map(MorvexInputRecord, *(map(float, c) for c in columns[:_DOUBLE_FIELD_COUNT]),
                       *(map(int, c) for c in columns[_DOUBLE_FIELD_COUNT:n])))
    return records, columns[n:], (length,)


def _record(values):
    """The C record from the twelve field values in field order."""
    doubles = [float(v) for v in values[:_DOUBLE_FIELD_COUNT]]
    words = [int(v) for v in values[_DOUBLE_FIELD_COUNT:len(STATE_FIELDS)]]
    return MorvexInputRecord(*doubles, *words)


def _encode_path(path):
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    # The library takes UTF-8; on POSIX the file system's own bytes.
    return path.encode("utf-8") if sys.platform == "win32" else os.fsencode(path)


def _package_id(package_id):
    pid = int(package_id)
    if not 0 <= pid <= 0xFFFFFFFF:
        raise ValueError(f"package id {package_id} is not a u32")
    return pid


class Module:
    """One friction module: the data of one sheet, lubricant and tooling
    surface. Made by Module.load (a data file) or Module.from_blob (a
    serialized module); released by close() or at the end of a with block.

    Every evaluation query takes the contact state as keywords named like the
    fields of the C MorvexInputRecord (see STATE_FIELDS). Fields not given
    take these values (those of `mxtool eval`):
      pressure, strain, sheetTemperature, velocity: the middle of the
        module's range, (min + max) * 0.5;
      toolTemperature: sheetTemperature;
      sheetRoughness, lubricationAmount, toolRoughness: the nominal values;
      stateValue: -inf, which the library clamps onto the first value of the
        module's state axis (no getter reports that axis);
      directionCosine: 1.0;
      useDirectionDependency: 1 when directionCosine is given, else 0;
      temperatureMode: 0 (the sheet temperature alone).
    A keyword given as a sequence or numpy array evaluates every point of the
    arguments broadcast together (extra arguments such as `previous`
    included) and returns a numpy array of their shape, or a list when
    numpy is not installed. A call the library answers with 0 raises
    MorvexError naming the C function (and, for arrays, the flat index of the
    first failing point)."""

    def __init__(self, _handle, _prepared):
        # Use Module.load or Module.from_blob.
        self._handle = _handle
        self._prepared = _prepared
        self._defaults = None

    # ---- Life cycle -------------------------------------------------------

    @classmethod
    def load(cls, path, prepare=False):
        """Morvex_LoadFile: the module of a data file, as a pre-processor
        opens it. With prepare=True also Morvex_PrepareSolverData, so that
        the module evaluates at once."""
        lib = _native.load_library()
        handle = ctypes.c_void_p()
        shown = os.fsdecode(os.fspath(path))
        if not lib.Morvex_LoadFile(_encode_path(path), ctypes.byref(handle)):
            reason = ("no such file" if not os.path.exists(shown) else
                      f"the plug-in rejects the file; run `mxtool check {shown}` for the reason")
            raise MorvexError("Morvex_LoadFile", f"cannot load {shown}: {reason}")
        if not handle.value:
            raise MorvexError("Morvex_LoadFile", f"{shown} holds no record, so there is no module")
        module = cls(handle, False)
        if prepare:
            try:
                module.prepare()
            except MorvexError:
                module.close()
                raise
        return module

    @classmethod
    def from_blob(cls, data, prepare=True):
        """The module of a serialized module (bytes-like), as a solver
        rebuilds it: Morvex_DeserializeAndPrepareSolverData, or with
        prepare=False Morvex_DeserializeModule alone."""
        lib = _native.load_library()
        data = bytes(data)
        if len(data) > 0x7FFFFFFF:
            raise ValueError("a blob of 2 GiB or more does not fit the library's i32 length")
        handle = ctypes.c_void_p()
        call = "Morvex_DeserializeAndPrepareSolverData" if prepare else "Morvex_DeserializeModule"
        if getattr(lib, call)(data, len(data), ctypes.byref(handle)):
            return cls(handle, prepare)
        if handle.value:  # read, but the preparation failed
            lib.Morvex_FreeModule(handle)
            raise MorvexError(call, "the module cannot be prepared for the solver; "
                              "run `mxtool check` on the blob for the reason")
        raise MorvexError(call, "the data is not a module the plug-in reads; "
                          "run `mxtool check` on the blob for the reason")

    def prepare(self):
        """Morvex_PrepareSolverData: samples every package model on its grid.
        Needs exclusive use of the module."""
        handle = self._checked()
        if not _native.function("PrepareSolverData")(ctypes.byref(handle)):
            raise MorvexError("Morvex_PrepareSolverData",
                              "a model cannot be prepared (or memory ran out); "
                              "run `mxtool check` on the data file or blob for the reason")
        self._prepared = True

    def serialize(self):
        """Morvex_SerializeModule: the module record as bytes."""
        blob = ctypes.POINTER(ctypes.c_uint8)()
        length = ctypes.c_uint64()
        if not _native.function("SerializeModule")(self._checked(), ctypes.byref(blob),
                                                   ctypes.byref(length)):
            raise MorvexError("Morvex_SerializeModule", "the module does not serialize")
        try:
            return ctypes.string_at(blob, length.value)
        finally:
            _native.function("FreeBlob")(ctypes.byref(blob))

    def close(self):
        """Morvex_FreeModule; closing twice does nothing."""
        handle, self._handle = self._handle, None
        if handle is not None:
            _native.function("FreeModule")(handle)

    @property
    def closed(self):
        return self._handle is None

    @property
    def prepared(self):
        """Whether the module went through Morvex_PrepareSolverData here."""
        return self._prepared

    def __enter__(self):
        self._checked()
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:  # interpreter shutdown: the library may be gone
            pass

    def __repr__(self):
        if self.closed:
            return "<mxplugin.Module closed>"
        return f"<mxplugin.Module solver id {self.solver_id!r}{', prepared' if self._prepared else ''}>"

    def _checked(self):
        if self._handle is None:
            raise ValueError("operation on a closed module")
        return self._handle

    # ---- Getters ----------------------------------------------------------

    def _pair(self, name):
        low, high = ctypes.c_double(), ctypes.c_double()
        if not _native.function(name)(self._checked(), ctypes.byref(low), ctypes.byref(high)):
            return None
        return (low.value, high.value)

    def _value(self, name, ctype=ctypes.c_double):
        out = ctype()
        _native.function(name)(self._checked(), ctypes.byref(out))
        return out.value

    def _properties(self, name):
        items = ctypes.POINTER(MorvexProperty)()
        count = ctypes.c_uint32()
        _native.function(name)(self._checked(), ctypes.byref(items), ctypes.byref(count))
        if not items:
            return []
        return [(_native.utf16_text(items[i].key), _native.utf16_text(items[i].value))
                for i in range(count.value)]

    # (min, max) of the contact state ranges.
    pressure_range = property(lambda self: self._pair("GetPressureRange"))
    strain_range = property(lambda self: self._pair("GetStrainRange"))
    temperature_range = property(lambda self: self._pair("GetTemperatureRange"))
    velocity_range = property(lambda self: self._pair("GetVelocityRange"))
    # (first, last) of the surface-condition axes; None when the axis is empty.
    sheet_roughness_range = property(lambda self: self._pair("GetSheetRoughnessRange"))
    lubrication_amount_range = property(lambda self: self._pair("GetLubricationAmountRange"))
    tool_roughness_range = property(lambda self: self._pair("GetToolRoughnessRange"))

    nominal_sheet_roughness = property(lambda self: self._value("GetNominalSheetRoughness"))
    nominal_lubrication_amount = property(lambda self: self._value("GetNominalLubricationAmount"))
    nominal_tool_roughness = property(lambda self: self._value("GetNominalToolRoughness"))

    # Status words as the library reports them (ints).
    strain_roughening_status = property(
        lambda self: self._value("GetStrainRougheningStatus", ctypes.c_uint32))
    static_friction_status = property(
        lambda self: self._value("GetStaticFrictionStatus", ctypes.c_uint32))
    tool_wear_status = property(lambda self: self._value("GetToolWearStatus", ctypes.c_uint32))
    direction_dependency_status = property(
        lambda self: self._value("GetDirectionDependencyStatus", ctypes.c_uint32))
    heat_transfer_coefficient_status = property(
        lambda self: self._value("GetHeatTransferCoefficientStatus", ctypes.c_uint32))
    # Morvex_GetIsToolTempEqual writes nothing, so it has no Python getter.

    @property
    def solver_id(self):
        text = ctypes.POINTER(ctypes.c_uint16)()
        _native.function("GetSolverID")(self._checked(), ctypes.byref(text))
        return _native.utf16_text(text)

    # Property lists as lists of (key, value) pairs, in the module's order;
    # dict(m.workpiece_properties) when the keys are unique.
    workpiece_properties = property(lambda self: self._properties("GetWorkpieceProperties"))
    lubricant_properties = property(lambda self: self._properties("GetLubricantProperties"))
    tooling_properties = property(lambda self: self._properties("GetToolingProperties"))

    def package_available(self, package_id):
        """Morvex_CheckPackageAvailability (ids above 11 answer like id 3)."""
        return bool(self._value_of("CheckPackageAvailability", _package_id(package_id)))

    @property
    def production_package_available(self):
        """Morvex_CheckProductionPackageAvailability: packages 8 and 10, or 9
        and 11."""
        return bool(self._value("CheckProductionPackageAvailability", ctypes.c_uint32))

    @property
    def available_packages(self):
        """The ids 0 to 11 the module defines."""
        return [i for i in range(12) if self.package_available(i)]

    def _value_of(self, name, argument):
        out = ctypes.c_uint32()
        _native.function(name)(self._checked(), argument, ctypes.byref(out))
        return out.value

    # ---- Contact state ----------------------------------------------------

    def contact_state(self, **state):
        """Every field of the contact state: the given ones, the rest at the
        defaults described in the class documentation."""
        unknown = sorted(set(state) - set(STATE_FIELDS))
        if unknown:
            raise TypeError(f"unknown contact state field {unknown[0]!r}; "
                            f"the fields are {', '.join(STATE_FIELDS)}")
        if self._defaults is None:
            middle = lambda r: (r[0] + r[1]) * 0.5  # noqa: E731 (mxtool's order)
            self._defaults = {
                "pressure": middle(self.pressure_range),
                "strain": middle(self.strain_range),
                "sheetTemperature": middle(self.temperature_range),
                "velocity": middle(self.velocity_range),
                "directionCosine": 1.0,
                "stateValue": -math.inf,
                "sheetRoughness": self.nominal_sheet_roughness,
                "lubricationAmount": self.nominal_lubrication_amount,
                "toolRoughness": self.nominal_tool_roughness,
                "temperatureMode": 0,
            }
        full = dict(self._defaults)
        full.update(state)
        full.setdefault("toolTemperature", full["sheetTemperature"])
        full.setdefault("useDirectionDependency", 1 if "directionCosine" in state else 0)
        return {name: full[name] for name in STATE_FIELDS}

    def _evaluate(self, call, package, state, extras, kernel):
        """Runs kernel(record, *extras) at one state or at every point of the
        broadcast arguments; the kernel answers None when the call fails."""
        handle = self._checked()
        values = list(self.contact_state(**state).values()) + list(extras)
        if not any(map(_is_array, state.values())) and not any(map(_is_array, extras)):
            result = kernel(handle, _record(values), *values[len(STATE_FIELDS):])
            if result is None:
                raise MorvexError(call, self._failure_reason(call, package))
            return result
        records, extras, shape = _points(values)
        results = []
        for index, (record, *extra) in enumerate(zip(records, *extras)):
            result = kernel(handle, record, *extra)
            if result is None:
                raise MorvexError(call, f"{self._failure_reason(call, package)} (at point {index})")
            results.append(result)
        if results and isinstance(results[0], tuple):
            return tuple(self._shaped(column, shape) for column in zip(*results))
        return self._shaped(results, shape)

    @staticmethod
    def _shaped(values, shape):
        if _np is None:
            return list(values)
        return _np.array(values, dtype=float).reshape(shape)

    def _failure_reason(self, call, package):
        if call == "Morvex_GetHeatTransferCoefficient" and not self.heat_transfer_coefficient_status:
            return "the module models no heat transfer"
        if package is not None and not self.package_available(package):
            return f"package {package} is not available in this module"
        if call != "Morvex_GetPackageAverage":
            if not self._prepared:
                return "the module is not prepared for the solver; call prepare() first"
            if package in (1, 2):
                return f"package {package} has no grid; read it with package_average"
        return "a surface-condition or state coordinate is NaN"

    # ---- Evaluation queries -----------------------------------------------

    # Each query's kernel owns its output buffers, made once per call (not
    # per point), so concurrent calls on one module share nothing.

    def _package_query(self, name, package_id, state):
        pid = _package_id(package_id)
        f = _native.function(name)
        out = ctypes.c_double()
        ref = ctypes.byref(out)

        def kernel(handle, record):
            return out.value if f(handle, record, pid, ref) else None

        return self._evaluate("Morvex_" + name, pid, state, (), kernel)

    def package_value(self, package_id, **state):
        """Morvex_GetPackageValue: the value of a package at the state."""
        return self._package_query("GetPackageValue", package_id, state)

    def package_average(self, package_id, **state):
        """Morvex_GetPackageAverage: the package's constant term over the
        surface conditions; needs no preparation."""
        return self._package_query("GetPackageAverage", package_id, state)

    def _one_double(self, name, package, state, argument):
        f = _native.function(name)
        out = ctypes.c_double()
        ref = ctypes.byref(out)

        def kernel(handle, record, extra):
            return out.value if f(handle, record, extra, ref) else None

        return self._evaluate("Morvex_" + name, package, state, (argument,), kernel)

    def surface_roughness(self, upper_bound=math.inf, **state):
        """Morvex_GetSurfaceRoughness: package 0 toward sheetRoughness below
        the minimum pressure, capped at upper_bound."""
        return self._one_double("GetSurfaceRoughness", 0, state, upper_bound)

    def real_contact_area(self, previous=0.0, **state):
        """Morvex_GetRealContactArea: package 4, non-negative, toward 0 below
        the minimum pressure; the larger of it and previous."""
        return self._one_double("GetRealContactArea", 4, state, previous)

    def history_parameter(self, previous=-math.inf, **state):
        """Morvex_GetHistoryParameter: package 4; the larger of it and
        previous."""
        return self._one_double("GetHistoryParameter", 4, state, previous)

    def spot_lube_indicator(self, upper_bound=math.inf, **state):
        """Morvex_GetSpotLubeIndicator: package 7 capped at upper_bound, then
        kept non-negative."""
        return self._one_double("GetSpotLubeIndicator", 7, state, upper_bound)

    def heat_transfer_coefficient(self, divisor_value=0.0, **state):
        """Morvex_GetHeatTransferCoefficient."""
        return self._one_double("GetHeatTransferCoefficient", 6, state, divisor_value)

    def lubrication_amount(self, upper_bound=math.inf, **state):
        """Morvex_GetLubricationAmount: (capped_amount, amount), where
        capped_amount is also at most the input lubricationAmount."""
        f = _native.function("GetLubricationAmount")
        capped, amount = ctypes.c_double(), ctypes.c_double()
        refs = ctypes.byref(capped), ctypes.byref(amount)

        def kernel(handle, record, bound):
            return (capped.value, amount.value) if f(handle, record, bound, *refs) else None

        return self._evaluate("Morvex_GetLubricationAmount", 5, state, (upper_bound,), kernel)

    def _indicator(self, name, package, state, scale, accumulator):
        f = _native.function(name)
        total = ctypes.c_double()
        ref = ctypes.byref(total)

        def kernel(handle, record, factor, start):
            total.value = start
            return total.value if f(handle, record, factor, 0.0, ref) else None

        return self._evaluate("Morvex_" + name, package, state, (scale, accumulator), kernel)

    def galling_indicator(self, scale=1.0, accumulator=0.0, **state):
        """Morvex_GetGallingIndicator: accumulator plus the non-negative
        package 8 rate times scale (toward 0 below the minimum pressure)."""
        return self._indicator("GetGallingIndicator", 8, state, scale, accumulator)

    def wear_indicator(self, scale=1.0, accumulator=0.0, **state):
        """Morvex_GetWearIndicator: as galling_indicator, with package 9."""
        return self._indicator("GetWearIndicator", 9, state, scale, accumulator)

    def production_volume(self, first_limit=1.0, second_limit=1.0, **state):
        """Morvex_GetProductionVolume; a limit of None is passed as NULL and,
        like a limit that is not positive, drops out."""
        f = _native.function("GetProductionVolume")
        limits = ctypes.c_double(), ctypes.c_double()
        out = ctypes.c_double()
        ref = ctypes.byref(out)

        def kernel(handle, record, *values):
            for limit, value in zip(limits, values):
                limit.value = 0.0 if value is None else value
            pointers = [None if v is None else ctypes.byref(c) for c, v in zip(limits, values)]
            return out.value if f(handle, record, *pointers, ref) else None

        return self._evaluate("Morvex_GetProductionVolume", None, state,
                              (first_limit, second_limit), kernel)
