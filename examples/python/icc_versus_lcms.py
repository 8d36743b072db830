#!/usr/bin/env python3
"""A four-ink table from an ICC profile, checked against lcms2.

Builds a vrel database whose conversion table is computed from a CMYK ICC
profile (sRGB in, perceptual intent), converts colours through it with the
engine, converts the same colours with lcms2 (through Pillow's ImageCms),
and draws two panels into a PNG: the four ink curves along the neutral axis
(engine solid, lcms2 dashed), and the ink difference per hue (the largest of the
four inks, averaged over 10-degree steps) around three rings of the RGB cube.

    python3 icc_versus_lcms.py [--profile CMYK.icc] [--points 17] [--output-dir DIR]
"""
import argparse
import colorsys
import pathlib

import matplotlib

matplotlib.use("Agg")  # files only, never a window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from PIL import Image, ImageCms  # noqa: E402

import vrel  # noqa: E402

INKS = ("cyan", "magenta", "yellow", "black")
RINGS = {"full colours (s=1, v=1)": (1.0, 1.0), "pastels (s=0.4, v=1)": (0.4, 1.0),
         "dark colours (s=1, v=0.5)": (1.0, 0.5)}


def description(profile, points):
    """One profile (number 0, four inks) whose table comes from the ICC profile."""
    return {
        "profiles": [{
            "profileNumber": 0, "layout": 1,
            "entries": [{"key": 0, "lutChunk": 256, "tableIds": [0, 0, 0], "channels": 4,
                         "name2": "ICC " + pathlib.Path(profile).stem}],
        }],
        "tables": [{
            "id": 256, "headerType": 1, "points": points, "channels": 4,
            "grid": {"source": "icc", "outputProfile": str(profile), "intent": "perceptual"},
        }],
    }


def lcms_inks(profile, rgb):
    """The colours through lcms2: built-in sRGB to the CMYK profile, perceptual."""
    transform = ImageCms.buildTransform(ImageCms.createProfile("sRGB"), str(profile), "RGB",
                                        "CMYK", renderingIntent=ImageCms.INTENT_PERCEPTUAL)
    image = Image.fromarray(rgb.reshape(1, -1, 3))
    return np.asarray(ImageCms.applyTransform(image, transform)).reshape(rgb.shape[:-1] + (4,))


def hue_ring(saturation, value, steps=360):
    return np.array([[round(255 * c) for c in colorsys.hsv_to_rgb(h / steps, saturation, value)]
                     for h in range(steps)], dtype=np.uint8)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--profile", default="/usr/share/color/icc/ghostscript/default_cmyk.icc")
    parser.add_argument("--points", type=int, default=17, help="grid points per axis")
    parser.add_argument("--output-dir", type=pathlib.Path, default=pathlib.Path("."))
    args = parser.parse_args()
    args.output_dir.mkdir(parents=True, exist_ok=True)
    database = args.output_dir / "icc.vdb"
    vrel.build_database(description(args.profile, args.points), database)

    grey = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 3, axis=1)
    rings = {name: hue_ring(*ring) for name, ring in RINGS.items()}
    with vrel.Context(database) as ctx:
        engine_grey = ctx.convert(grey)
        engine_rings = {name: ctx.convert(rgb) for name, rgb in rings.items()}
        name = ctx.profile_name
    lcms_grey = lcms_inks(args.profile, grey)

    figure, (curves, errors) = plt.subplots(1, 2, figsize=(12, 4.8))
    for i, ink in enumerate(INKS):
        curves.plot(engine_grey[:, i], color=ink, label=f"{ink} (vrel)")
        curves.plot(lcms_grey[:, i], color=ink, linestyle="--", alpha=0.6, label=f"{ink} (lcms2)")
    curves.set(title="Inks along the neutral axis", xlabel="grey level (R = G = B)",
               ylabel="ink amount", xlim=(0, 255), ylim=(0, 255))
    curves.legend(fontsize=7, ncol=2)
    for ring_name, rgb in rings.items():
        difference = np.abs(engine_rings[ring_name].astype(int) - lcms_inks(args.profile, rgb))
        per_step = difference.max(axis=1).reshape(36, 10).mean(axis=1)
        errors.plot(np.arange(5, 360, 10), per_step, marker="o", markersize=3, label=ring_name)
        print(f"{ring_name}: mean largest ink difference {difference.max(axis=1).mean():.2f}, "
              f"worst {difference.max()}")
    errors.set(title="Ink difference |vrel - lcms2| per hue (largest ink, 10° means)",
               xlabel="hue (degrees)", ylabel="ink levels (of 255)", xlim=(0, 360), ylim=(0, None))
    errors.legend(fontsize=8)
    figure.suptitle(f"'{name}': {args.points}-point table from {pathlib.Path(args.profile).name}")
    figure.tight_layout()
    picture = args.output_dir / "icc_versus_lcms.png"
    figure.savefig(picture, dpi=100)
    neutral = np.abs(engine_grey.astype(int) - lcms_grey).max()
    print(f"neutral axis: largest ink difference {neutral}")
    print(f"picture: {picture}")


if __name__ == "__main__":
    main()
