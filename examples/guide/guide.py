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

# Solver: rebuild and prepare once, evaluate per contact point.
# MPa, -, degC, degC, mm/s, cosine, state; um, g/m2, um.
state = dict(strain=0.2, sheetTemperature=110.0, toolTemperature=110.0, velocity=250.0,
             directionCosine=1.0, stateValue=0.0, sheetRoughness=1.1, lubricationAmount=1.0,
             toolRoughness=0.3, useDirectionDependency=0, temperatureMode=0)
with mxplugin.Module.from_blob(blob, prepare=True) as module:
    for pressure in (10.0, 40.0, 80.0):
        mu = module.package_value(3, pressure=pressure, **state)
        area = module.real_contact_area(previous=0.0, pressure=pressure, **state)
        print(f"p = {pressure:5.1f}  mu = {mu:8.6f}  area = {area:8.6f}")
