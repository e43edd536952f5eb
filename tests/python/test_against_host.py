# Guards against a Python result that differs in a single bit from the C
# call's: a ctypes declaration, record layout or argument order that does not
# match the header, a getter decoding the wrong thing, a failure that does not
# raise (or raises where C succeeds). The Python package replays the example
# host's run (examples/host.c) and must print exactly what the C host prints.
import ctypes
import re
import struct

import pytest
from conftest import BUILD, DEMO, mxplugin, program, run
from mxplugin import _native

UNSET = -7.25  # what the C host's out-parameters hold when a call fails


class U64(int):
    pass


def field(v):
    if isinstance(v, float):
        return f" {struct.unpack('<Q', struct.pack('<d', v))[0]:016x}"
    if isinstance(v, str):
        return " [" + "".join(f"{ord(c):04x}" for c in v) + "]"
    return f" {v:016x}" if isinstance(v, U64) else f" {v & 0xFFFFFFFF:08x}"


def snake(camel):
    return re.sub("[A-Z]", lambda c: "_" + c.group(0).lower(), camel)


def fnv1a(blob):
    h = 14695981039346656037
    for byte in blob:
        h = ((h ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return U64(h)


def describe(m, line):
    for name in ("pressure", "strain", "temperature", "velocity", "sheetRoughness",
                 "lubricationAmount", "toolRoughness"):
        pair = getattr(m, snake(name) + "_range")
        line(name + "Range", int(pair is not None), *(pair or (UNSET, UNSET)))
    for name in ("SheetRoughness", "LubricationAmount", "ToolRoughness"):
        line("nominal" + name, 1, getattr(m, "nominal" + snake(name)))
    for name in ("strainRoughening", "staticFriction", "toolWear", "directionDependency",
                 "heatTransferCoefficient"):
        line(name + "Status", 1, getattr(m, snake(name) + "_status"))
    # The package has no getter for the function that writes nothing: its
    # declaration is called as it is.
    equal = ctypes.c_uint32(0xA5A5A5A5)
    line("isToolTempEqual", _native.function("GetIsToolTempEqual")(m._handle, ctypes.byref(equal)), equal.value)
    line("solverId", 1, m.solver_id)
    for kind in ("workpiece", "lubricant", "tooling"):
        pairs = getattr(m, kind + "_properties")
        line(kind + "Properties", 1, len(pairs))
        for key, value in pairs:
            line("  property", key, value)
    for pid in list(range(13)) + [0xFFFFFFFF]:
        line("packageAvailable", 1, pid, int(m.package_available(pid)))
    line("productionAvailable", 1, int(m.production_package_available))


def queries(m, s):
    """(label, printed arguments, call, what a failed call leaves) in the host's order."""
    for pid in range(13):
        yield "packageValue", (pid,), lambda: m.package_value(pid, **s), (UNSET,)
        yield "packageAverage", (pid,), lambda: m.package_average(pid, **s), (UNSET,)
    for bound in (0.0, 0.35, 1e9):
        yield "surfaceRoughness", (bound,), lambda: m.surface_roughness(bound, **s), (UNSET,)
        yield "lubricationAmount", (bound,), lambda: m.lubrication_amount(bound, **s), (UNSET, UNSET)
        yield "spotLubeIndicator", (bound,), lambda: m.spot_lube_indicator(bound, **s), (UNSET,)
    for previous in (0.0, 0.5):
        yield "realContactArea", (previous,), lambda: m.real_contact_area(previous, **s), (UNSET,)
        yield "historyParameter", (previous,), lambda: m.history_parameter(previous, **s), (UNSET,)
    yield "gallingIndicator", (), lambda: m.galling_indicator(2.0, 0.125, **s), (0.125,)
    yield "wearIndicator", (), lambda: m.wear_indicator(0.5, 0.125, **s), (0.125,)
    for index, limits in enumerate(((0.8, 1.7), (0.8, None), (None, 1.7), (-1.0, 1.7))):
        yield "productionVolume", (index,), lambda: m.production_volume(*limits, **s), (UNSET,)
    for divisor in (0.0, -1.0, 0.75, 40.0):
        yield ("heatTransferCoefficient", (divisor,),
               lambda: m.heat_transfer_coefficient(divisor, **s), (UNSET,))


def evaluate_states(m, line):
    at = lambda r, t: r[0] + t * (r[1] - r[0])  # noqa: E731
    axes = [m.sheet_roughness_range or (0.0, 1.0), m.lubrication_amount_range or (0.0, 1.0),
            m.tool_roughness_range or (0.0, 1.0)]
    points = [(p, si, sr, li, la, ti, tt, d) for p in (-0.2, 0.0, 0.37, 1.0, 1.3)
              for si, sr in enumerate((0.0, 0.41, 1.2)) for li, la in enumerate((0.29, 1.0))
              for ti, tt in enumerate((0.15, 0.8)) for d in (0, 1)]
    for state, (p, si, sr, li, la, ti, tt, d) in enumerate(points):
        s = dict(pressure=m.pressure_range[0] * 0.5 if p < 0 else at(m.pressure_range, p),
                 strain=at(m.strain_range, 0.3 + 0.2 * ti), sheetTemperature=at(m.temperature_range, tt),
                 toolTemperature=at(m.temperature_range, 1.0 - tt),
                 velocity=at(m.velocity_range, 0.05 + 0.3 * li), directionCosine=0.6 if d else 1.0,
                 stateValue=0.25 * si, sheetRoughness=at(axes[0], sr), lubricationAmount=at(axes[1], la),
                 toolRoughness=at(axes[2], 0.6), useDirectionDependency=d, temperatureMode=(si + ti) % 2)
        line("state", 1, state, s["pressure"], s["sheetTemperature"], s["sheetRoughness"], d,
             s["temperatureMode"])
        for label, arguments, call, unset in queries(m, s):
            try:
                result = call()
                line(label, 1, *arguments, *(result if isinstance(result, tuple) else (result,)))
            except mxplugin.MorvexError:
                line(label, 0, *arguments, *unset)


def python_host(path):
    out = []
    line = lambda name, *values: out.append(name + "".join(map(field, values)))  # noqa: E731
    with mxplugin.Module.load(path) as m:
        line("loadFile", 1, 1)
        describe(m, line)
        blob = m.serialize()
    line("serialize", 1, U64(len(blob)), fnv1a(blob))
    with mxplugin.Module.from_blob(blob) as prepared, \
            mxplugin.Module.from_blob(blob, prepare=False) as stepwise:
        line("deserializeAndPrepare", 1, 1)
        line("deserialize", 1, 1)
        stepwise.prepare()
        line("prepare", 1)
        for label, m in (("serializePrepared", prepared), ("serializeStepwise", stepwise)):
            again = m.serialize()
            line(label, 1, U64(len(again)), fnv1a(again))
        evaluate_states(prepared, line)
    return out


@pytest.mark.parametrize("data", ["demo", "sample"])
def test_every_getter_and_query_matches_the_c_host_bit_for_bit(data):
    path = DEMO if data == "demo" else program("MX_SAMPLE_FILE", BUILD / "tests" / "sample.mxd")
    host = program("MX_HOST", BUILD / "examples" / "mx_host")
    expected = run(host, "--library", mxplugin.find_library_path()[0], str(path)).splitlines()
    assert python_host(path) == expected[1:]  # all but "resolved 42 of 42"
