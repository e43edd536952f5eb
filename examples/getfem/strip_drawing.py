#!/usr/bin/python3
"""A plane-strain strip drawn over a rigid flat tool in GetFEM, with the
friction coefficient of every contact node taken from mxplugin.

The strip (steel, elastic) lies on the tool, is pressed onto it by a pressure
that rises along its length, and is pulled at its right end over the tool in
several steps, once slowly and once fast. Every contact node's friction
coefficient is the library's package 3 at the node's contact pressure and
sliding velocity, the module's nominal surface conditions and the tool
temperature. GetFEM's nodal contact brick takes that coefficient as model data
with one value per contact node; between solves the coefficients are updated
from the new contact state until they no longer change.

    strip_drawing.py [--data FILE] [--chart FILE.png] [--check]

--check verifies the solution (Newton convergence, load balance, Coulomb's law
node by node, the coefficients against direct library calls, the effect of
speed) and exits 1 when any check fails; exit 77 means GetFEM is missing.
"""

import argparse
import os
import subprocess
import sys
import time

try:
    import getfem as gf
    import numpy as np
except ImportError:
    print("GetFEM's Python interface is not installed (Debian: apt-get install python3-getfem); "
          "skipping the strip-drawing example", file=sys.stderr)
    sys.exit(77)

import mxplugin

FRICTION_PACKAGE = mxplugin.Package.FRICTION  # package 3

# Geometry (mm), material (MPa) and process. Forces are per mm of strip width.
LENGTH, THICKNESS = 60.0, 1.0
CELLS_ALONG, CELLS_ACROSS = 120, 4
YOUNG, POISSON = 210000.0, 0.3
SHEET_TEMPERATURE, TOOL_TEMPERATURE = 20.0, 80.0  # °C
PRESSURE_LOW = 5.0  # MPa at the left end; the right end gets 90 % of the range top
DRAW_STEP, DRAW_STEPS = 0.5, 8  # mm per step, steps
SPEEDS = (20.0, 400.0)  # mm/s

NEWTON_MAX_ITER, NEWTON_MAX_RES = 40, 1e-10
# The brick divides its contact equations by r, so Newton's residual bounds
# the friction forces' error by r times it: a modest r (N/mm per mm) still
# converges in a few iterations and pins |Ft| to mu|Fn| within a few 1e-8.
AUGMENTATION = 1000.0
FIXED_POINT_MAX = 30
SLIDING_SLIP = 1e-6  # mm: a node that moved less than this in a step sticks


def friction_coefficients(module, pressure, velocity):
    """Package 3 at the given contact pressures (MPa) and sliding velocities
    (mm/s): nominal surface conditions, no plastic strain, the friction law of
    the mean of sheet and tool temperature, drawing along the rolling
    direction. The one place where the solver asks the library."""
    return module.package_value(FRICTION_PACKAGE, pressure=pressure, velocity=velocity,
                                strain=0.0, sheetTemperature=SHEET_TEMPERATURE,
                                toolTemperature=TOOL_TEMPERATURE, temperatureMode=1,
                                directionCosine=1.0, useDirectionDependency=1)


class Strip:
    """The GetFEM model: mesh, regions, bricks and the contact node map."""

    BOTTOM, TOP, RIGHT = 1, 2, 3

    def __init__(self, pressure_high):
        mesh = gf.Mesh("cartesian", np.linspace(0.0, LENGTH, CELLS_ALONG + 1),
                       np.linspace(0.0, THICKNESS, CELLS_ACROSS + 1))
        for region, normal in ((self.BOTTOM, [0, -1]), (self.TOP, [0, 1]), (self.RIGHT, [1, 0])):
            mesh.set_region(region, mesh.outer_faces_with_direction(normal, 0.01))
        self.mfu = gf.MeshFem(mesh, 2)
        self.mfu.set_fem(gf.Fem("FEM_QK(2,1)"))
        self.mim = gf.MeshIm(mesh, gf.Integ("IM_GAUSS_PARALLELEPIPED(2,2)"))

        # Contact nodes in the order of the brick's multipliers: the first
        # component dof of each node on the contact face, by increasing dof.
        dofs = np.sort(self.mfu.basic_dof_on_region(self.BOTTOM))
        self.ux_dofs = dofs[0::2]
        self.x = self.mfu.basic_dof_nodes(self.ux_dofs)[0]
        # Contact length each node carries: the integral of its shape function
        # over the contact face, so that nodal force / length is a pressure.
        mfs = gf.MeshFem(mesh, 1)
        mfs.set_fem(gf.Fem("FEM_QK(2,1)"))
        weights = gf.asm_generic(self.mim, 1, "Test_w", self.BOTTOM, "w", 1, mfs,
                                 np.zeros(mfs.nbdof()))
        # Same element on both, so node k holds scalar dof k and vector dofs 2k, 2k+1.
        self.length_of_node = weights[self.ux_dofs // 2]
        self.count = self.ux_dofs.size

        md = gf.Model("real")
        md.add_fem_variable("u", self.mfu)
        md.add_initialized_data("E", [YOUNG])
        md.add_initialized_data("nu", [POISSON])
        md.add_isotropic_linearized_elasticity_pstrain_brick(self.mim, "u", "E", "nu")
        md.add_initialized_data("p_low", [PRESSURE_LOW])
        md.add_initialized_data("p_high", [pressure_high])
        md.add_initialized_data("strip_length", [LENGTH])
        md.add_source_term(self.mim, "-(p_low + (p_high - p_low) * X(1) / strip_length) * Test_u(2)",
                           self.TOP)
        md.add_initialized_data("pull", [0.0])
        pull_brick = md.add_normal_Dirichlet_condition_with_multipliers(self.mim, "u", 1,
                                                                         self.RIGHT, "pull")
        self.pull_multiplier = md.mult_varname_Dirichlet(pull_brick)
        md.add_variable("lambda_n", self.count)
        md.add_variable("lambda_t", self.count)
        md.add_initialized_data("r", [AUGMENTATION])
        md.add_initialized_data("friction", np.zeros(self.count))
        md.add_nodal_contact_with_rigid_obstacle_brick(self.mim, "u", "lambda_n", "lambda_t", "r",
                                                       "friction", self.BOTTOM, "y", 1)
        self.md = md
        self.applied_load = 0.5 * (PRESSURE_LOW + pressure_high) * LENGTH

    def solve(self):
        iterations, converged = self.md.solve("max_iter", NEWTON_MAX_ITER, "max_res",
                                              NEWTON_MAX_RES, "lsearch", "simplest")
        return int(iterations), bool(converged)

    def contact_ux(self):
        return self.md.variable("u")[self.ux_dofs]

    def normal_forces(self):
        return self.md.variable("lambda_n")

    def tangential_forces(self):
        return self.md.variable("lambda_t")

    def drawing_force(self):
        return gf.asm_generic(self.mim, 0, self.pull_multiplier, self.RIGHT, self.md)


def contact_state(strip, ux_before, dt):
    """Contact pressure (MPa) and sliding velocity (mm/s) of every node."""
    pressure = np.abs(strip.normal_forces()) / strip.length_of_node
    velocity = np.abs(strip.contact_ux() - ux_before) / dt
    return pressure, velocity


def draw(module, speed, pressure_high, timing):
    """Presses the strip with its end held (step 0, as long as a drawing
    step) and draws it DRAW_STEPS times at `speed`. One record per step."""
    strip = Strip(pressure_high)
    dt = DRAW_STEP / speed
    ux_before = strip.contact_ux()
    # The first guess: the coefficient at the nominal pressure profile at rest.
    pressure_guess = PRESSURE_LOW + (pressure_high - PRESSURE_LOW) * strip.x / LENGTH
    start = time.perf_counter()
    mu = friction_coefficients(module, pressure_guess, np.zeros(strip.count))
    timing["lookup"] += time.perf_counter() - start
    timing["evaluations"] += strip.count
    steps = []
    for step in range(DRAW_STEPS + 1):
        strip.md.set_variable("pull", [step * DRAW_STEP])
        newton, passes = [], 0
        while True:
            strip.md.set_variable("friction", mu)
            start = time.perf_counter()
            newton.append(strip.solve())
            timing["solve"] += time.perf_counter() - start
            passes += 1
            pressure, velocity = contact_state(strip, ux_before, dt)
            start = time.perf_counter()
            mu_next = friction_coefficients(module, pressure, velocity)
            timing["lookup"] += time.perf_counter() - start
            timing["evaluations"] += strip.count
            if np.array_equal(mu_next, mu) or passes == FIXED_POINT_MAX:
                break
            mu = mu_next
        ux = strip.contact_ux()
        steps.append(dict(step=step, newton=newton, passes=passes,
                          mu=strip.md.variable("friction").copy(),
                          mu_next=mu_next, pressure=pressure, velocity=velocity,
                          slip=np.abs(ux - ux_before), x=strip.x,
                          normal=strip.normal_forces().copy(),
                          tangential=strip.tangential_forces().copy(),
                          drawing=abs(strip.drawing_force()), load=strip.applied_load,
                          pressure_high=pressure_high))
        ux_before = ux
    return steps


def summary(steps):
    """Figures of the last drawing step."""
    last = steps[-1]
    normal = float(np.sum(np.abs(last["normal"])))
    friction = float(np.sum(np.abs(last["tangential"])))
    return dict(normal=normal, friction=friction, ratio=friction / normal,
                drawing=last["drawing"], mu_min=float(last["mu"].min()),
                mu_max=float(last["mu"].max()))


def check(module, runs):
    """Every check of the solution; returns the list of failures."""
    failures = []

    def expect(ok, what):
        if not ok:
            failures.append(what)

    for speed, steps in runs.items():
        for s in steps:
            where = f"{speed:g} mm/s, step {s['step']}"
            expect(all(converged for _, converged in s["newton"]),
                   f"{where}: Newton did not converge {s['newton']}")
            expect(np.array_equal(s["mu_next"], s["mu"]),
                   f"{where}: coefficients still changing after {s['passes']} passes")
            normal, tangential = np.abs(s["normal"]), np.abs(s["tangential"])
            expect(abs(normal.sum() - s["load"]) <= 1e-9 * s["load"],
                   f"{where}: normal forces {normal.sum()!r} against load {s['load']!r}")
            sliding = s["slip"] > SLIDING_SLIP
            bound = s["mu"] * normal
            coulomb = np.abs(tangential[sliding] - bound[sliding]) / bound[sliding]
            expect(coulomb.size == 0 or coulomb.max() <= 1e-6,
                   f"{where}: |Ft| - mu|Fn| up to {coulomb.max():.3g} of mu|Fn| on a sliding node")
            expect(np.all(tangential[~sliding] <= bound[~sliding] * (1 + 1e-6)),
                   f"{where}: a sticking node beyond mu|Fn|")
            if s["step"] > 0:
                expect(sliding.all(), f"{where}: {np.count_nonzero(~sliding)} nodes stick while drawn")
                expect(abs(s["drawing"] - tangential.sum()) <= 1e-6 * s["drawing"],
                       f"{where}: drawing force {s['drawing']!r} against friction "
                       f"{tangential.sum()!r}")
            # The state handed to the library: the applied pressure away from
            # the strip's ends, the drawing speed once the strip slides steadily.
            applied = PRESSURE_LOW + (s["pressure_high"] - PRESSURE_LOW) * s["x"] / LENGTH
            inner = (s["x"] > 0.05 * LENGTH) & (s["x"] < 0.95 * LENGTH)
            expect(np.all(np.abs(s["pressure"][inner] / applied[inner] - 1) <= 0.02),
                   f"{where}: contact pressures off the applied pressure")
            expect(s["step"] < 2 or np.all(np.abs(s["velocity"] / speed - 1) <= 1e-3),
                   f"{where}: sliding velocities off the drawing speed")
            direct = np.array([friction_coefficients(module, float(p), float(v))
                               for p, v in zip(s["pressure"], s["velocity"])])
            expect(np.array_equal(direct.view(np.uint64), s["mu"].view(np.uint64)),
                   f"{where}: coefficients differ from direct evaluation at "
                   f"{np.count_nonzero(direct != s['mu'])} nodes")

    # Speed: the drawing force ratio of the two runs lies between the
    # smallest and largest ratio the library gives node by node at the
    # slow run's pressures, and the speeds differ noticeably.
    slow, fast = min(runs), max(runs)
    pressure = runs[slow][-1]["pressure"]
    library_ratio = (friction_coefficients(module, pressure, np.full_like(pressure, fast)) /
                     friction_coefficients(module, pressure, np.full_like(pressure, slow)))
    force_ratio = runs[fast][-1]["drawing"] / runs[slow][-1]["drawing"]
    expect(library_ratio.min() * 0.99 <= force_ratio <= library_ratio.max() * 1.01 and
           abs(force_ratio - 1) > 0.01,
           f"drawing force ratio {force_ratio:.4f} outside the library's "
           f"{library_ratio.min():.4f} .. {library_ratio.max():.4f}")
    return failures


def chart(runs, path):
    """Friction coefficient along the strip (last step) and drawing force
    over the steps, both speeds, through gnuplot."""
    data = []
    for index, (speed, steps) in enumerate(runs.items()):
        last = steps[-1]
        data.append(f"$mu{index} << EOD\n" +
                    "".join(f"{x:.6g} {m:.8g}\n" for x, m in zip(last["x"], last["mu"])) + "EOD\n")
        data.append(f"$force{index} << EOD\n" +
                    "".join(f"{s['step']} {s['drawing']:.8g}\n" for s in steps) + "EOD\n")
    titles = [f"'{speed:g} mm/s'" for speed in runs]
    script = (
        "set encoding utf8\nset terminal pngcairo size 800,320 enhanced font 'sans,9'\n"
        f"set output '{path}'\n" + "".join(data) +
        "set multiplot layout 1,2\nset grid\nset key top right box\n"
        "set title 'Friction coefficient along the strip (last step)'\n"
        "set xlabel 'position along the strip (mm)'\nset ylabel 'μ'\n"
        "plot " + ", ".join(f"$mu{i} using 1:2 with lines lw 2 title {t}"
                            for i, t in enumerate(titles)) + "\n"
        "set title 'Drawing force (step 0: pressing only)'\nset xlabel 'drawing step'\nset ylabel 'N per mm width'\n"
        "set key bottom right box\nset yrange [0:*]\n"
        "plot " + ", ".join(f"$force{i} using 1:2 with linespoints lw 2 pt 7 title {t}"
                            for i, t in enumerate(titles)) + "\n"
        "unset multiplot\nunset output\n")
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                       "data", "demo.mxd"))
    parser.add_argument("--chart", help="write the chart (PNG) here")
    parser.add_argument("--check", action="store_true", help="verify the solution")
    args = parser.parse_args()
    gf.util_trace_level(0)

    # Pre-processor: the data file becomes a blob; solver: the blob becomes
    # a prepared module.
    with mxplugin.Module.load(args.data) as material:
        blob = material.serialize()
    with mxplugin.Module.from_blob(blob, prepare=True) as module:
        pressure_high = 0.9 * module.pressure_range[1]
        timing = dict(solve=0.0, lookup=0.0, evaluations=0)
        start = time.perf_counter()
        runs = {speed: draw(module, speed, pressure_high, timing) for speed in SPEEDS}
        total = time.perf_counter() - start

        print(f"strip {LENGTH:g} x {THICKNESS:g} mm, contact pressure applied "
              f"{PRESSURE_LOW:g} .. {pressure_high:g} MPa, {DRAW_STEPS} steps of {DRAW_STEP:g} mm")
        for speed, steps in runs.items():
            f = summary(steps)
            solves = sum(len(s["newton"]) for s in steps)
            print(f"{speed:5g} mm/s: normal {f['normal']:.2f} N/mm, friction {f['friction']:.3f} "
                  f"N/mm, ratio {f['ratio']:.5f}, drawing force {f['drawing']:.3f} N/mm, "
                  f"mu {f['mu_min']:.5f} .. {f['mu_max']:.5f}, {solves} solves")
        print(f"{timing['evaluations']} friction evaluations in {timing['lookup'] * 1e3:.1f} ms "
              f"({timing['lookup'] / timing['evaluations'] * 1e6:.2f} us each), "
              f"Newton solves {timing['solve'] * 1e3:.0f} ms, whole run {total * 1e3:.0f} ms")
        if args.chart:
            chart(runs, args.chart)
        if args.check:
            failures = check(module, runs)
            for failure in failures:
                print("FAILED:", failure)
            if failures:
                return 1
            print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
