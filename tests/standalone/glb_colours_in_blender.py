"""Run inside Blender: imports a .glb that `murkwell bake --mode vertex` wrote and checks that
Blender's glTF importer reads the grit colours back: the colour of every face corner matches the
colour that the same bake wrote to an .obj for the vertex at that position.

    blender -b --factory-startup --python-exit-code 1 --python glb_colours_in_blender.py -- OUT.glb OUT.obj
"""
import sys

import bpy

glb, obj = sys.argv[sys.argv.index("--") + 1:][:2]

try:
    import numpy  # noqa: F401  (Blender's glTF importer needs it)
except ImportError:
    print("numpy is missing for Blender's glTF importer: skipped")
    sys.exit(0)

expected = {}
with open(obj) as f:
    for line in f:
        if line.startswith("v "):
            x, y, z, r, g, b = (float(t) for t in line.split()[1:7])
            expected[(x, y, z)] = (r, g, b)

# Flat shading: the importer's guess of smooth faces from normals is not wanted (and there are
# no normals in the file).
bpy.ops.import_scene.gltf(filepath=glb, import_shading="FLAT")
objects = [o for o in bpy.context.selected_objects if o.type == "MESH"]
assert len(objects) == 1, "expected one mesh object, got %r" % [o.name for o in objects]
ob = objects[0]
mesh = ob.data
assert len(mesh.color_attributes) >= 1, "no colour attribute was imported"
colours = mesh.color_attributes[0]
assert colours.domain in ("CORNER", "POINT"), colours.domain

# Byte colours come back through sRGB: allow half a step of 8 bits in sRGB near white.
tolerance = 0.006
checked, worst, grey = 0, 0.0, 0
for loop in mesh.loops:
    p = ob.matrix_world @ mesh.vertices[loop.vertex_index].co
    key = (round(p.x, 5), round(p.z, 5), round(-p.y, 5))  # Blender is z up, glTF y up
    match = [c for q, c in expected.items() if all(abs(a - b) < 1e-4 for a, b in zip(q, key))]
    assert match, "no vertex at %r in %s" % (key, obj)
    got = colours.data[loop.index if colours.domain == "CORNER" else loop.vertex_index].color
    for a, b in zip(got[:3], match[0]):
        worst = max(worst, abs(a - b))
    grey += 1 if match[0][0] < 0.99 else 0
    checked += 1
assert worst <= tolerance, "a colour is off by %g" % worst
assert grey > 0, "every corner is white: nothing to compare"
print("checked %d corners (%d grey), largest difference %.4f" % (checked, grey, worst))
