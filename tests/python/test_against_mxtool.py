# Guards against a default contact state that differs from `mxtool eval`'s
# (range midpoints, nominal conditions, first state value, tool temperature,
# direction blend), against array evaluation that differs from the C calls
# point by point (numpy and list paths), and against a module loaded and
# prepared in place answering differently from one rebuilt from its blob.
# Besides the demo, a variant of it with the state axis [-1, 1] (values
# shifted at 1) tells the first state value from 0 and from the last.
import copy
import functools
import json
import struct

import pytest
from conftest import BUILD, DEMO, mxplugin, program, run

# mxtool quantity -> the package's query, reduced to one value.
QUERIES = {
    "friction": lambda m, **s: m.package_value(mxplugin.Package.FRICTION, **s),
    "roughness": lambda m, **s: m.surface_roughness(**s),
    "contact-area": lambda m, **s: m.real_contact_area(**s),
    "history": lambda m, **s: m.history_parameter(**s),
    "lubrication": lambda m, **s: m.lubrication_amount(**s)[1],
    "heat-transfer": lambda m, **s: m.heat_transfer_coefficient(**s),
    "spot-lube": lambda m, **s: m.spot_lube_indicator(**s),
    "galling": lambda m, **s: m.galling_indicator(**s),
    "wear": lambda m, **s: m.wear_indicator(**s),
    "production": lambda m, **s: m.production_volume(**s),
}
for _id in (0, 3, 4, 5, 6, 7, 8, 9, 10, 11):
    QUERIES[f"package:{_id}"] = functools.partial(lambda i, m, **s: m.package_value(i, **s), _id)
for _id in range(12):
    QUERIES[f"average:{_id}"] = functools.partial(lambda i, m, **s: m.package_average(i, **s), _id)

# mxtool sweep variable, its range (beyond the module's, to reach the clamps),
# and the contact state field it sets.
SWEEPS = [
    ("pressure", -20, 120, "pressure"),
    ("strain", -0.1, 0.5, "strain"),
    ("temperature", 0, 250, "sheetTemperature"),
    ("velocity", -50, 600, "velocity"),
    ("sheet-roughness", 0.5, 1.5, "sheetRoughness"),
    ("lubrication", 0.2, 2.5, "lubricationAmount"),
    ("tool-roughness", 0.1, 0.5, "toolRoughness"),
    ("state", -1, 1, "stateValue"),
    ("direction", -1, 1, "directionCosine"),
]


@functools.lru_cache(maxsize=None)
def mxtool_sweep(path, variable, low, high):
    """The x column and one column per quantity of `mxtool eval --csv`."""
    mxtool = program("MXTOOL", BUILD / "tools" / "mxtool")
    csv = run(mxtool, "eval", str(path), "--csv", "--sweep", variable, "--from", str(low),
              "--to", str(high), "--steps", "7", "-q", ",".join(QUERIES))
    rows = [[float(cell) for cell in line.split(",")] for line in csv.splitlines()[1:]]
    return list(zip(*rows))


def bits(values):
    return [struct.pack("<d", float(v)) for v in values]


@pytest.fixture(scope="module")
def two_states(tmp_path_factory):
    description = json.loads((DEMO.parent / "demo.json").read_text())
    description["axes"]["state"] = [-1.0, 1.0]
    for key in ("primaryEntries", "secondaryEntries"):
        description[key] = [dict(copy.deepcopy(e), state=s) for e in description[key] for s in (-1.0, 1.0)]
        for entry in description[key][1::2]:
            for package in entry["packages"]:
                package["offset"] += 0.5
    folder = tmp_path_factory.mktemp("two_states")
    (folder / "two_states.json").write_text(json.dumps(description))
    run(program("MXTOOL", BUILD / "tools" / "mxtool"), "pack", str(folder / "two_states.json"), "-o",
        str(folder / "two_states.mxd"))
    return folder / "two_states.mxd"


@pytest.fixture(scope="module", params=["demo from blob", "demo loaded", "two states from blob"])
def module(request, two_states):
    path = two_states if request.param.startswith("two") else DEMO
    with mxplugin.Module.load(path, prepare=request.param.endswith("loaded")) as loaded:
        if request.param.endswith("loaded"):
            yield path, loaded
            return
        with mxplugin.Module.from_blob(loaded.serialize()) as rebuilt:
            yield path, rebuilt


@pytest.mark.parametrize("variable,low,high,field", SWEEPS, ids=[s[0] for s in SWEEPS])
def test_sweeps_match_mxtool_eval_to_the_last_bit(module, arrays, variable, low, high, field):
    path, m = module
    x, *columns = mxtool_sweep(path, variable, low, high)
    for quantity, expected in zip(QUERIES, columns):
        actual = QUERIES[quantity](m, **{field: list(x)})
        assert isinstance(actual, list) == (arrays == "lists")
        assert bits(actual) == bits(expected), quantity
