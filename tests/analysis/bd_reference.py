#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Computes the Bjøntegaard reference figures that tst_analysis_bdrate checks,
# independently of the code under test: SciPy's monotone cubic interpolant
# and its own exact integration. Run by hand (Debian: python3-scipy); the
# printed numbers are committed in the test.
import numpy as np
from scipy.interpolate import PchipInterpolator

def mean_diff(ref_x, ref_y, test_x, test_y):
    lo = max(min(ref_x), min(test_x))
    hi = min(max(ref_x), max(test_x))
    def integral(x, y):
        order = np.argsort(x)
        p = PchipInterpolator(np.asarray(x)[order], np.asarray(y)[order])
        return p.integrate(lo, hi)
    return (integral(test_x, test_y) - integral(ref_x, ref_y)) / (hi - lo)

def bd_rate(ref, test):
    d = mean_diff([q for _, q in ref], [np.log10(r) for r, _ in ref],
                  [q for _, q in test], [np.log10(r) for r, _ in test])
    return (10 ** d - 1) * 100

def bd_psnr(ref, test):
    return mean_diff([np.log10(r) for r, _ in ref], [q for _, q in ref],
                     [np.log10(r) for r, _ in test], [q for _, q in test])

cases = {
    "smooth": ([(0.25, 30.1), (0.5, 33.4), (1.0, 36.9), (2.0, 40.2)],
               [(0.22, 30.3), (0.46, 33.6), (0.93, 37.0), (1.9, 40.5)]),
    "uneven": ([(0.1, 25.0), (0.15, 28.5), (0.6, 31.0), (0.7, 35.5), (2.5, 36.0)],
               [(0.12, 26.0), (0.2, 27.0), (0.3, 31.5), (1.1, 33.0), (1.6, 38.0), (3.0, 38.2)]),
    "ssim": ([(0.3, 0.80), (0.6, 0.90), (1.2, 0.95), (2.4, 0.985)],
             [(0.35, 0.83), (0.7, 0.915), (1.1, 0.948), (2.0, 0.97)]),
}
for name, (ref, test) in cases.items():
    print(f"{name}: bd_rate {bd_rate(ref, test)!r} bd_metric {bd_psnr(ref, test)!r}")

# A real sweep (data/real-sweep.csv: automatic quality 20 to 95 in steps of 5
# over the two sample pictures, baseline and progressive, Huffman tables
# optimised or not): every curve against baseline with optimised tables.
import csv, os
rows = list(csv.DictReader(open(os.path.join(os.path.dirname(__file__), "data", "real-sweep.csv"))))
curves = {}
for r in rows:
    key = (r["picture"], r["mode"], r["progressive"], r["optimize_huffman"])
    curves.setdefault(key, []).append((float(r["bpp"]), float(r["psnr"])))
for picture in sorted({k[0] for k in curves}):
    ref = curves[(picture, "Baseline", "0", "1")]
    for key, points in curves.items():
        if key[0] == picture and key[1:] != ("Baseline", "0", "1"):
            print(f"real {picture} {','.join(key[1:])}: bd_rate {bd_rate(ref, points)!r} "
                  f"bd_metric {bd_psnr(ref, points)!r}")

# A mixed sweep (data/mixed-sweep.csv: Baseline and progressive, Huffman
# optimised or not, DCT int and float, automatic and table quality 30 to 90
# over the two sample pictures): every dct=float curve against the dct=int
# curve of the same picture whose every other setting is equal. A
# progressive entry's Huffman tables are optimised whatever it asked.
settings = ["mode", "progressive", "grayscale", "optimize_huffman", "dct", "smoothing",
            "auto_quality", "sampling", "luminance_table", "chrominance_table"]
rows = list(csv.DictReader(open(os.path.join(os.path.dirname(__file__), "data", "mixed-sweep.csv"))))
curves = {}
for r in rows:
    if r["status"] != "ok":
        continue
    values = dict((s, r[s]) for s in settings)
    if values["progressive"] == "1":
        values["optimize_huffman"] = "1"
    key = (r["picture"],) + tuple(values[s] for s in settings)
    points = curves.setdefault(key, {})
    points[int(r["quality"])] = (float(r["bpp"]), float(r["psnr"]))
dct = 1 + settings.index("dct")
for key in sorted(curves):
    if key[dct] != "float":
        continue
    partner = key[:dct] + ("int",) + key[dct + 1:]
    if partner not in curves:
        print(f"mixed unpaired {key}")
        continue
    ref, test = list(curves[partner].values()), list(curves[key].values())
    print(f"mixed {key[0]} {','.join(key[1:])}: bd_rate {bd_rate(ref, test)!r} "
          f"bd_metric {bd_psnr(ref, test)!r}")
