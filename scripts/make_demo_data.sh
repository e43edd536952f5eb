#!/usr/bin/env bash
# Regenerates the demo material from its friction law (docs/demo-material.md):
# tabulates every package on its centre grid (scripts/demo_law.awk), fits the
# models with `mxtool fit`, assembles a Lubricant-record description, packs it
# into a data file and writes the canonical description back with `unpack`.
# Deterministic: no randomness, no time stamps; equal tools give equal bytes.
#
#   scripts/make_demo_data.sh [output-directory]   (default: data)
#   MXTOOL=path/to/mxtool overrides build/tools/mxtool.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/data}"
mxtool="${MXTOOL:-$root/build/tools/mxtool}"
[[ -x "$mxtool" ]] || { echo "make_demo_data: build mxtool first ($mxtool)" >&2; exit 2; }
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

sheet_roughness=1.1   # um
tool_roughness=0.3    # um
amounts=(0.5 2.0)     # g/m2

# package index -> quantity of the law and evaluation grid points per axis
# (index 1, the friction coefficient, gets the finest grid). Indexes 2 and 4
# are read only as averages; they carry a constant.
quantity=(area mu - lube - rough htc spot galling wear prod1 prod2)
grid=(5 10 5 5 5 5 5 5 5 5 5 5)

package() {  # direction amount index
    local q="${quantity[$3]}"
    if [[ "$q" == "-" ]]; then
        printf '{"gridPointCount": 5, "factor": 1, "shape": 0.25, "offset": 1.0, '
        printf '"scales": [1.0, 1.0, 1.0, 1.0], "weights": []}'
        return
    fi
    local table="$work/$1-$2-$3.csv"
    awk -v q="$q" -v L="$2" -v Ra="$sheet_roughness" -v dir="$1" \
        -f "$root/scripts/demo_law.awk" > "$table"
    "$mxtool" fit "$table" --quiet --shape 0.25 --grid-points "${grid[$3]}"
}

curve() {  # heat-transfer samples at 20, 65, 110, 155, 200 C
    awk 'BEGIN {
        printf "{\"divisors\": [2e-05, 2e-05, 2e-05, 2e-05, 2e-05], \"numerators\": ["
        for (j = 0; j < 5; j++) printf "%s%.17g", (j ? ", " : ""), 2e-05 * (1 + 0.001 * 45 * j)
        printf "], \"offsets\": [0.2, 0.2, 0.2, 0.2, 0.2]}"
    }'
}

entries() {  # direction
    local first=1
    printf '['
    for amount in "${amounts[@]}"; do
        ((first)) || printf ','
        first=0
        printf '{"sheetRoughness": %s, "lubricationAmount": %s, "toolRoughness": %s, ' \
            "$sheet_roughness" "$amount" "$tool_roughness"
        printf '"state": 0.0, "curves": [%s], "packages": [' "$(curve)"
        for index in $(seq 0 11); do
            ((index == 0)) || printf ','
            package "$1" "$amount" "$index"
        done
        printf ']}'
    done
    printf ']'
}

cat > "$work/source.json" <<JSON
{
  "format": "mxplugin-material",
  "kind": "lubricant",
  "text1": "Demo DX54D + prelube",
  "text2": "generated from the demo friction law by scripts/make_demo_data.sh",
  "ranges": {"pressure": [0.0, 100.0], "strain": [0.0, 0.4],
             "temperature": [20.0, 200.0], "velocity": [0.0, 500.0]},
  "nominal": {"sheetRoughness": $sheet_roughness, "lubricationAmount": 1.0,
              "toolRoughness": $tool_roughness},
  "directionDependency": 1,
  "heatTransferStatus": 1,
  "properties": {
    "workpiece": [["Sheet grade", "DX54D"], ["Sheet thickness", "0.8 mm"],
                  ["Sheet roughness", "$sheet_roughness um"]],
    "lubricant": [["Lubricant", "demo prelube"], ["Lubricant amounts", "0.5, 2.0 g/m2"]],
    "tooling": [["Tooling material", "cast iron"], ["Tooling roughness", "$tool_roughness um"]]
  },
  "primaryEntries": $(entries 0),
  "secondaryEntries": $(entries 1)
}
JSON

"$mxtool" pack "$work/source.json" -o "$out/demo.mxd"
"$mxtool" unpack "$out/demo.mxd" -o "$out/demo.json"
echo "wrote $out/demo.mxd ($(stat -c %s "$out/demo.mxd") bytes) and $out/demo.json"
