"""Helpers for the tests that run inside Blender (blender -b --factory-startup --python ...):
the command line after "--", installing and enabling the add-on from its zip, importing OBJ
files, baking through the operator, reading images, PNG files and colour attributes, and running
the test cases so that a failure ends Blender with a non-zero exit code."""

import argparse
import array
import os
import struct
import sys
import unittest
import zlib

import bpy

ADDON = "murkwell_blender"


def arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--murkwell", default="")
    parser.add_argument("--source", required=True)
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    return parser.parse_args(argv)


def config_dir():
    return bpy.utils.user_resource('CONFIG', path="murkwell", create=True)


def install_addon(zip_path):
    """Installs the zip into the user scripts folder and enables it, as Preferences > Add-ons >
    Install does; returns the folder it was installed into."""
    result = bpy.ops.preferences.addon_install(filepath=zip_path)
    assert result == {'FINISHED'}, result
    result = bpy.ops.preferences.addon_enable(module=ADDON)
    assert result == {'FINISHED'}, result
    return os.path.join(bpy.utils.user_resource('SCRIPTS', path="addons"), ADDON)


def empty_scene():
    """Removes every object, mesh, curve and image (loading a new file would reset the add-on's
    state the tests look at)."""
    for collection in (bpy.data.objects, bpy.data.meshes, bpy.data.curves, bpy.data.images, bpy.data.materials):
        for item in list(collection):
            collection.remove(item)


def import_obj(path):
    """Imports with z up and y forward, so positions stay as the file has them; returns the
    imported (selected, active) object."""
    result = bpy.ops.wm.obj_import(filepath=path, forward_axis='Y', up_axis='Z')
    assert result == {'FINISHED'}, result
    objects = list(bpy.context.selected_objects)
    assert len(objects) == 1, objects
    bpy.context.view_layer.objects.active = objects[0]
    return objects[0]


def select_only(*objects):
    for o in bpy.context.view_layer.objects:
        o.select_set(False)
    for o in objects:
        o.select_set(True)
    if objects:
        bpy.context.view_layer.objects.active = objects[0]


def props():
    return bpy.context.window_manager.murkwell


def configure(**values):
    p = props()
    for name, value in values.items():
        setattr(p, name, value)


def generate(**operator_args):
    """Runs Generate to the end. Returns (result, reports): reports are the (type, text) pairs the
    operator made; an operator that reports an error also raises, which is caught here."""
    from murkwell_blender import operators
    start = len(operators.reports_log)
    try:
        result = bpy.ops.murkwell.generate(**operator_args)
    except RuntimeError:
        result = {'CANCELLED'}
    return result, operators.reports_log[start:]


def reported(reports, kind, text):
    return (kind, text) in reports


def single(x):
    """x rounded to single precision."""
    return struct.unpack("f", struct.pack("f", x))[0]


def image_levels(image):
    """The image's grey levels (red channel x 65535), top row first, and whether every pixel is
    exactly a level: r = g = b = the single-precision level / 65535, alpha 1."""
    w, h = image.size
    pixels = array.array('f', bytes(4 * 4 * w * h))
    image.pixels.foreach_get(pixels)
    levels, exact = [], True
    for row in range(h - 1, -1, -1):
        for x in range(w):
            i = (row * w + x) * 4
            level = round(pixels[i] * 65535.0)
            exact = exact and pixels[i] == single(level / 65535.0) and pixels[i + 1] == pixels[i] and \
                pixels[i + 2] == pixels[i] and pixels[i + 3] == 1.0
            levels.append(level)
    return levels, exact


def read_png(path):
    """(width, height, bit depth, channels, the first channel's values top row first) of a PNG
    file, decoded with the standard library."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert interlace == 0
        elif kind == b"IDAT":
            idat += body
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    step = channels * depth // 8
    stride = width * step
    raw = zlib.decompress(idat)
    previous = bytearray(stride)
    values = []
    p = 0
    for _ in range(height):
        kind, line = raw[p], bytearray(raw[p + 1:p + 1 + stride])
        p += 1 + stride
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        for x in range(width):
            at = x * step
            values.append(line[at] << 8 | line[at + 1] if depth == 16 else line[at])
        previous = line
    return width, height, depth, channels, values


def colour_values(attribute):
    values = array.array('f', bytes(4 * 4 * len(attribute.data)))
    attribute.data.foreach_get("color", values)
    return values


def run(*cases):
    """Runs the test cases; raises (so Blender exits with code 1) when one fails."""
    suite = unittest.TestSuite()
    for case in cases:
        suite.addTests(unittest.defaultTestLoader.loadTestsFromTestCase(case))
    outcome = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
    if not outcome.wasSuccessful():
        raise SystemExit("Blender tests failed")
