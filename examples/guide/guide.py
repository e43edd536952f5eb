"""The host integration guide's example in Python: the same roads as guide.c
through the mxplugin package.

    PYTHONPATH=python python3 guide.py DATAFILE
"""
import sys

import mxplugin

# Pre-processor: data file -> blob.
with mxplugin.Module.load(sys.argv[1]) as module:
    blob = module.serialize()
print(f"blob {len(blob)} bytes")

# Solver: rebuild and prepare once, then evaluate a block of contact points
# (a sequence evaluates every point; a single value, one).
# MPa, -, degC, degC, mm/s, cosine, state; um, g/m2, um.
state = dict(strain=0.2, sheetTemperature=110.0, toolTemperature=110.0, velocity=250.0,
             directionCosine=1.0, stateValue=0.0, sheetRoughness=1.1, lubricationAmount=1.0,
             toolRoughness=0.3, useDirectionDependency=0, temperatureMode=0)
pressures = [10.0, 40.0, 80.0]
with mxplugin.Module.from_blob(blob, prepare=True) as module:
    mu = module.package_value(3, pressure=pressures, **state)
    area = module.real_contact_area(previous=0.0, pressure=pressures, **state)
for p, m, a in zip(pressures, mu, area):
    print(f"p = {p:5.1f}  mu = {m:8.6f}  area = {a:8.6f}")
