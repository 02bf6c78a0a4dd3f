"""Bakes the example block inside Blender, without a window, and saves the grit map as a 16-bit PNG:

    blender -b --python blender/examples/bake_example.py [-- --zip ZIP] [--out FILE.png]

Uses the installed Murkwell add-on; when it is not installed, the add-on from ZIP (by default the
build's build/blender/murkwell_blender.zip) is unpacked into a temporary folder and used from
there for this run only, leaving Blender's add-ons as they were. The settings are those of
scripts/run-example.sh: a 512 x 512 map, ray length 2, spread 8 x 2. Prints where the PNG is.
"""
import argparse
import os
import sys
import tempfile
import zipfile

import addon_utils
import bpy

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
ADDON = "murkwell_blender"


def options():
    parser = argparse.ArgumentParser(prog="bake_example.py")
    parser.add_argument("--zip", default=os.path.join(ROOT, "build", "blender", "murkwell_blender.zip"))
    parser.add_argument("--out", default=os.path.join(ROOT, "out", "blender_example_grit.png"))
    return parser.parse_args(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else [])


def enable_addon(zip_path):
    if any(m.__name__ == ADDON for m in addon_utils.modules()):
        addon_utils.enable(ADDON, default_set=False)
        return "installed add-on"
    if not os.path.isfile(zip_path):
        sys.exit("Murkwell is not installed and there is no %s; build it with "
                 "cmake --build build --target murkwell_blender_zip" % zip_path)
    folder = tempfile.mkdtemp(prefix="murkwell-addon-")
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(folder)
    sys.path.insert(0, folder)
    import murkwell_blender
    murkwell_blender.register()
    return zip_path


def main():
    args = options()
    source = enable_addon(args.zip)
    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)
    bpy.ops.wm.obj_import(filepath=os.path.join(ROOT, "examples", "grooved_block.obj"), forward_axis='Y', up_axis='Z')
    block = bpy.context.selected_objects[0]
    bpy.context.view_layer.objects.active = block

    p = bpy.context.window_manager.murkwell
    p.mode = 'UV_MAP'
    p.map_width, p.map_height = 512, 512
    p.distance = 2.0
    p.spread_horizontal, p.spread_vertical = 8, 2
    p.selected_only = p.noise = p.material_filter = False
    bpy.context.scene.murkwell_image_path = os.path.abspath(args.out)

    from murkwell_blender import operators
    try:
        result = bpy.ops.murkwell.generate()
    except RuntimeError:
        result = {'CANCELLED'}
    for kind, text in operators.reports_log:
        print("%s: %s" % (kind.lower(), text))
    if result != {'FINISHED'} or not os.path.isfile(args.out):
        sys.exit("the bake failed")
    print()
    print("Murkwell (%s) in Blender %s" % (source, bpy.app.version_string))
    print("Grit map: %s  (512 x 512, 16-bit, white = crevice)" % os.path.abspath(args.out))


main()
