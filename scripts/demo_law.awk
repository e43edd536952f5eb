# The demo material's friction law (docs/demo-material.md), tabulated on the
# centre grid of a package model for `mxtool fit`.
#
# Variables (-v): q = quantity (mu, area, lube, rough, htc, spot, galling, wear,
# prod1, prod2), L = lubrication amount (g/m2), Ra = sheet roughness (um),
# dir = 0 sliding / 1 transverse. The table spans pressure 0..100 MPa,
# temperature 20..200 C and velocity 0..500 mm/s in 5 evenly spaced values
# each; no quantity depends on strain, so the table leaves it out.

function law(q, p, T, v,    t, s, mu) {
    t = (T - 20) / 180                       # 0 at room temperature, 1 at 200 C
    if (q == "mu") {
        # Falls with pressure and velocity, rises with temperature, lower with
        # more lubricant; 10 % higher across the rolling direction.
        mu = (0.075 + 0.075 * exp(-L / 0.8)) * (1 + 0.3 * t) \
             * (1 - 0.35 * p / (p + 40)) * (1 - 0.25 * v / (v + 200))
        return dir ? mu * 1.1 : mu
    }
    if (q == "area") return 0.9 * p / (p + 35) * (1 + 0.1 * t)
    if (q == "lube") return L * (1 - 0.4 * p / (p + 50)) * (1 - 0.2 * v / (v + 300))
    if (q == "rough") return Ra * (1 - 0.45 * p / (p + 60))
    if (q == "htc") return 1.5 + 18 * p / (p + 25)
    if (q == "spot") { s = p / 100; return s * s * (0.5 + 0.5 * v / 500) / (1 + L) }
    if (q == "galling") { s = p / 100; return 0.001 * s * s * (1 + 2 * t) * exp(-L / 0.6) }
    if (q == "wear") return 0.0002 * (p / 100) * (v / 500 + 0.2) * (1 + 0.5 * t)
    if (q == "prod1") return 2 * (1 - 0.5 * p / (p + 50)) * (0.5 + L / 2)
    if (q == "prod2") return 3 * (1 - 0.6 * p / (p + 80))
    print "unknown quantity " q > "/dev/stderr"
    exit 1
}

BEGIN {
    print "pressure,temperature,velocity,value"
    for (k = 0; k < 5; k++)
        for (j = 0; j < 5; j++)
            for (i = 0; i < 5; i++) {
                p = i * 25; T = 20 + j * 45; v = k * 125
                printf "%d,%d,%d,%.17g\n", p, T, v, law(q, p, T, v)
            }
}
