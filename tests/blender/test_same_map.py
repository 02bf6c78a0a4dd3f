"""Blender and `murkwell bake` give the same grit map, byte for byte, for a mesh that reaches both
in the same order: a triangle-only OBJ whose coordinates are exact in single precision, with
`s 1` on every face, so that the standalone reader gives every face smoothing bit 1 and Blender's
all-smooth shading makes one patch that the host colours with bit 1 as well. That Blender's
importer keeps the order is checked too: the arrays the add-on hands over equal the file's
vertices, triangles and texture coordinates.

Run by CTest: blender -b --factory-startup --python test_same_map.py -- --zip ZIP --murkwell EXE
"""
import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_support as bs  # noqa: E402

import bpy  # noqa: E402

ARGS = bs.arguments()
N = 8  # cells per side of the floor: a power of two keeps the texture coordinates exact


def corner_obj():
    """A floor of N x N cells and two walls along x = 0 and y = 0, N x 3 cells each, facing into
    the corner they make; every cell two triangles. Vertices are shared; coordinates are whole
    numbers, texture coordinates multiples of 1/64: the floor fills the left half of the square,
    each wall a band of the right half."""
    vertices, index, uvs, faces = [], {}, [], []

    def vertex(p):
        if p not in index:
            index[p] = len(vertices) + 1
            vertices.append(p)
        return index[p]

    def uv(u, v):
        uvs.append((u, v))
        return len(uvs)

    def cell(corners, texture):
        # Two triangles (0, 1, 2), (0, 2, 3) of a cell counter-clockwise seen from its front.
        ids = [(vertex(c), uv(*t)) for c, t in zip(corners, texture)]
        faces.append((ids[0], ids[1], ids[2]))
        faces.append((ids[0], ids[2], ids[3]))

    s = 32.0 / 64.0 / N
    for i in range(N):
        for j in range(N):
            cell([(i, j, 0), (i + 1, j, 0), (i + 1, j + 1, 0), (i, j + 1, 0)],
                 [(i * s, 2 * j * s), ((i + 1) * s, 2 * j * s), ((i + 1) * s, 2 * (j + 1) * s), (i * s, 2 * (j + 1) * s)])
    t = 32.0 / 64.0 / N
    for i in range(N):
        for k in range(3):
            band = 0.5 + (k / 64.0) * 5
            h = 5 / 64.0
            cell([(i + 1, 0, k), (i, 0, k), (i, 0, k + 1), (i + 1, 0, k + 1)],  # y = 0, facing +y
                 [(0.5 + i * t, band), (0.5 + (i + 1) * t, band), (0.5 + (i + 1) * t, band + h), (0.5 + i * t, band + h)])
            band2 = band + 0.25
            cell([(0, i, k), (0, i + 1, k), (0, i + 1, k + 1), (0, i, k + 1)],  # x = 0, facing +x
                 [(0.5 + i * t, band2), (0.5 + (i + 1) * t, band2), (0.5 + (i + 1) * t, band2 + h),
                  (0.5 + i * t, band2 + h)])
    lines = ["o corner\n"]
    lines += ["v %d %d %d\n" % p for p in vertices]
    lines += ["vt %.17g %.17g\n" % t for t in uvs]
    lines.append("s 1\n")
    lines += ["f %d/%d %d/%d %d/%d\n" % (a[0], a[1], b[0], b[1], c[0], c[1]) for a, b, c in faces]
    return "".join(lines), vertices, uvs, faces


class SameMap(unittest.TestCase):
    def test_blender_and_the_command_line_bake_the_same_map(self):
        text, vertices, uvs, faces = corner_obj()
        work = tempfile.mkdtemp(prefix="murkwell-same-map-")
        obj_path = os.path.join(work, "corner.obj")
        with open(obj_path, "w") as f:
            f.write(text)

        bs.empty_scene()
        obj = bs.import_obj(obj_path)
        from murkwell_blender import handoff
        arrays = handoff.MeshArrays(obj.data, "", with_colours=False)
        self.assertEqual(list(arrays.positions), [float(c) for p in vertices for c in p])
        self.assertEqual(list(arrays.triangle_vertices), [a[0] - 1 for face in faces for a in face])
        file_uvs = [float(c) for face in faces for a in face for c in uvs[a[1] - 1]]
        handed_uvs = [arrays.loop_uvs[2 * l + k] for l in arrays.triangle_loops for k in (0, 1)]
        self.assertEqual(handed_uvs, file_uvs)
        self.assertTrue(all(arrays.polygon_smooth))
        self.assertEqual(len(arrays.sharp_edges), 0)

        settings = dict(size=(96, 80), dist=3.0, spread=(8, 2))
        bs.configure(mode='UV_MAP', map_width=96, map_height=80, distance=3.0, spread_horizontal=8,
                     spread_vertical=2, selected_only=False, noise=False, material_filter=False)
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        blender_levels, exact = bs.image_levels(bpy.data.images["corner grit"])
        self.assertTrue(exact)

        png = os.path.join(work, "corner.png")
        command = [ARGS.murkwell, "bake", obj_path, "-o", png, "--mode", "uv", "--size", "96x80", "--dist", "3",
                   "--spread", "8x2", "--channel", "1", "--no-selected-only", "--no-noise", "--no-mtl-id",
                   "--config-dir", os.path.join(work, "config"), "-q"]
        done = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        width, height, depth, _, cli_levels = bs.read_png(png)
        self.assertEqual((width, height, depth), settings["size"] + (16,))
        self.assertEqual(blender_levels, cli_levels)
        self.assertGreater(len(set(cli_levels)), 100, "a map with real variation")


bs.install_addon(ARGS.zip)
bs.run(SameMap)
