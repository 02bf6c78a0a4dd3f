"""The add-on in Blender: installed from its zip into a fresh user folder, its properties start as
the settings file has them, and the example block baked through the operator into an image (and
a 16-bit PNG) and into the colour attribute "Grit"; the settings go back into the file through
the plug-in's panel.

Run by CTest: blender -b --factory-startup --python test_addon_bakes.py -- --zip ZIP --source DIR
"""
import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_support as bs  # noqa: E402

import bpy  # noqa: E402
from mathutils import Vector  # noqa: E402

ARGS = bs.arguments()
EXAMPLE = os.path.join(ARGS.source, "examples", "grooved_block.obj")

# The settings file as a user left it, before the add-on is enabled.
INITIAL_INI = "[Murkwell]\nalgorithm=1009\nXSiz=300\nYSiz=150\ndist=2.500000\nhorizontalSpread=12\n"

# The example block: z up, a terrace at height 2 crossed by grooves (y 2 ... 3 and 5 ... 6, floor
# at 1.4) that run into a step (x >= 8, height 3). Its top faces map x, y to
# u = 0.02 + 0.96 x / 12, v = 0.32 + 0.66 y / 8.
def texel(image, x, y):
    w, h = image.size
    u, v = 0.02 + 0.96 * x / 12.0, 0.32 + 0.66 * y / 8.0
    return int(u * w), int(v * h)  # Blender's rows count from the bottom, as v does


class Installed(unittest.TestCase):
    def test_zip_installs_into_the_user_folder_and_reads_the_settings_file(self):
        self.assertTrue(os.path.isfile(os.path.join(FOLDER, "__init__.py")))
        for library in ("libmurkwell-blender.so", "libmurkwell-host.so", "murkwell-plugin.so"):
            self.assertTrue(os.path.isfile(os.path.join(FOLDER, library)), library)
        p = bs.props()
        self.assertEqual(p.mode, 'VERTEX_COLORS')
        self.assertEqual((p.map_width, p.map_height), (300, 150))
        self.assertEqual(p.distance, 2.5)
        self.assertEqual(p.spread_horizontal, 12)
        # Keys the file lacks: the table's defaults.
        self.assertEqual(p.spread_vertical, 1)
        self.assertEqual(p.noise_size, 25.0)
        # Ranges from the settings table.
        self.assertEqual(type(p).bl_rna.properties["map_width"].hard_min, 50)
        self.assertEqual(type(p).bl_rna.properties["map_width"].hard_max, 4096)
        self.assertEqual(type(p).bl_rna.properties["distance"].hard_max, 100000.0)

    def test_about_reports_the_plugins_about_box(self):
        from murkwell_blender import operators
        start = len(operators.reports_log)
        self.assertEqual(bpy.ops.murkwell.about(), {'FINISHED'})
        texts = [t for _, t in operators.reports_log[start:]]
        self.assertEqual(texts[:2], ["About Murkwell", "Murkwell V0.26b [BETA]"])


class FakeLayout:
    """Stands in for Blender's layout while the panel draws without a window: records every
    property shown with whether its part of the panel is enabled, and checks that the property
    exists."""

    def __init__(self, test, shown, parent=None):
        self.test, self.shown, self.parent, self.enabled = test, shown, parent, True

    def active(self):
        return self.enabled and (self.parent is None or self.parent.active())

    def _child(self, *args, **kwargs):
        return FakeLayout(self.test, self.shown, self)
    box = row = column = _child

    def prop(self, data, name, **kwargs):
        self.test.assertTrue(hasattr(data, name), name)
        self.shown[name] = self.active()

    def prop_search(self, data, name, search_data, search_name, **kwargs):
        self.test.assertTrue(hasattr(search_data, search_name), search_name)
        self.prop(data, name)

    def label(self, **kwargs):
        pass

    def separator(self):
        pass

    def operator(self, idname, **kwargs):
        module, name = idname.split(".")
        self.test.assertTrue(hasattr(getattr(bpy.ops, module), name), idname)
        self.shown[idname] = self.active()


class Panel(unittest.TestCase):
    def draw(self):
        from murkwell_blender import ui
        shown = {}
        panel = type("Drawn", (), {"layout": FakeLayout(self, shown)})()
        ui.VIEW3D_PT_murkwell.draw(panel, bpy.context)
        return shown

    def test_panel_shows_every_setting_and_greys_out_what_the_page_disables(self):
        bs.empty_scene()
        bs.import_obj(EXAMPLE)
        bs.configure(mode='UV_MAP')
        from murkwell_blender import settings
        settings.save_now()  # the page takes the mode and says which controls it enables
        shown = self.draw()
        for name in ("mode", "distance", "selected_only", "spread_vertical", "spread_horizontal", "map_width",
                     "map_height", "uv_map", "noise", "noise_size", "material_filter", "material_id", "colour_mode",
                     "murkwell_image_path", "murkwell.generate", "murkwell.about"):
            self.assertIn(name, shown)
        self.assertTrue(shown["map_width"] and shown["noise"] and shown["uv_map"])
        self.assertFalse(shown["colour_mode"])

        bs.configure(mode='VERTEX_COLORS')
        shown = self.draw()
        self.assertFalse(shown["map_width"] or shown["noise_size"] or shown["material_id"] or shown["uv_map"])
        self.assertTrue(shown["colour_mode"] and shown["distance"] and shown["selected_only"])
        self.assertNotIn("murkwell_image_path", shown)
        bs.configure(mode='UV_MAP')


class Bakes(unittest.TestCase):
    def setUp(self):
        bs.empty_scene()
        self.block = bs.import_obj(EXAMPLE)

    def test_uv_map_holds_16_bit_levels_crevices_brighter_and_saves_a_png(self):
        png = os.path.join(bpy.app.tempdir or "/tmp", "murkwell-test-grit.png")
        bpy.context.scene.murkwell_image_path = png
        bs.configure(mode='UV_MAP', map_width=192, map_height=160, distance=2.0, spread_horizontal=8,
                     spread_vertical=2, uv_map="UVMap", selected_only=False, noise=False, material_filter=False)
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertTrue(any(t.startswith("elapsed time = ") for _, t in reports), reports)

        image = bpy.data.images["grooved_block grit"]
        self.assertEqual(tuple(image.size), (192, 160))
        self.assertTrue(image.is_float)
        self.assertEqual(image.colorspace_settings.name, 'Non-Color')
        levels, exact = bs.image_levels(image)
        self.assertTrue(exact, "every pixel holds level / 65535, grey and opaque")

        def level(x, y):
            cx, cy = texel(image, x, y)
            return levels[(160 - 1 - cy) * 192 + cx]
        groove_at_step = level(7.9, 2.5)  # a groove's floor against the step's wall
        groove = level(3.5, 2.5)          # the middle of a groove's floor
        open_terrace = level(3.5, 4.0)    # the terrace between the grooves
        step_top = level(10.0, 4.0)       # the top of the step
        print("levels: groove at step %d, groove %d, terrace %d, step top %d"
              % (groove_at_step, groove, open_terrace, step_top))
        self.assertGreater(groove_at_step, groove)
        self.assertGreater(groove, 2 * max(open_terrace, step_top))

        # The PNG: 16 bits, the same levels, top row first.
        width, height, depth, _, red = bs.read_png(png)
        self.assertEqual((width, height, depth), (192, 160, 16))
        self.assertEqual(red, levels)
        os.remove(png)
        bpy.context.scene.murkwell_image_path = ""

        # The panel saved what it was given.
        ini = open(os.path.join(bs.config_dir(), "Murkwell.ini")).read()
        for line in ("algorithm=1008", "XSiz=192", "YSiz=160", "dist=2.000000", "verticalSpread=2"):
            self.assertIn(line, ini)

        # A second bake of another size replaces the image under the same name.
        bs.configure(map_width=64, map_height=64)
        self.assertEqual(bs.generate()[0], {'FINISHED'})
        self.assertEqual(tuple(bpy.data.images["grooved_block grit"].size), (64, 64))
        self.assertEqual(len([i for i in bpy.data.images if i.name.startswith("grooved_block grit")]), 1)

    def test_vertex_colours_in_the_grit_attribute(self):
        bs.configure(mode='VERTEX_COLORS', distance=2.0, spread_horizontal=8, spread_vertical=2,
                     colour_mode='REPLACE', selected_only=False)
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertTrue(any(t.startswith("Grit calculation complete") for _, t in reports), reports)
        mesh = self.block.data
        grit = mesh.color_attributes["Grit"]
        self.assertEqual((grit.domain, grit.data_type), ('POINT', 'FLOAT_COLOR'))
        self.assertEqual(mesh.color_attributes.active_color.name, "Grit")
        colours = bs.colour_values(grit)

        def colour(position):
            for v in mesh.vertices:
                if (v.co - Vector(position)).length < 1e-6:
                    return colours[v.index * 4]
            self.fail("no vertex at %s" % (position,))
        corner = colour((8.0, 2.0, 1.4))  # groove floor, step wall, groove wall
        groove = colour((4.0, 2.0, 1.4))  # groove floor, groove wall
        terrace = colour((4.0, 4.0, 2.0))  # the terrace between the grooves
        print("colours: corner %.4f, groove %.4f, terrace %.4f" % (corner, groove, terrace))
        self.assertLess(corner, groove)
        self.assertLess(groove, terrace)
        self.assertTrue(all(0.0 < c <= 1.0 for c in colours))
        self.assertTrue(all(colours[i + 3] == 1.0 for i in range(0, len(colours), 4)))

        # Accumulating onto a corner attribute whose corners differ multiplies each corner's
        # colour by its vertex's grey level, and keeps the colours per corner.
        levels = {v: colours[v * 4] for v in range(len(mesh.vertices))}
        old = mesh.color_attributes.new("Paint", 'FLOAT_COLOR', 'CORNER')
        paint = [0.5 + 0.5 * ((l % 7) / 7.0) for l in range(len(mesh.loops))]
        for l, item in enumerate(old.data):
            item.color = (paint[l], 1.0, 0.25, 1.0)
        mesh.color_attributes.active_color = old
        bs.configure(colour_mode='ACCUMULATE')
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        grit = mesh.color_attributes["Grit"]
        self.assertEqual(grit.domain, 'CORNER')
        stored = bs.colour_values(grit)
        for loop in mesh.loops:
            level = levels[loop.vertex_index]
            painted = bs.colour_values(old)[loop.index * 4]
            self.assertAlmostEqual(stored[loop.index * 4], painted * level, places=6)
            self.assertAlmostEqual(stored[loop.index * 4 + 2], 0.25 * level, places=6)

    def test_spatial_answers_with_the_plugins_message(self):
        bs.configure(mode='SPATIAL')
        result, reports = bs.generate()
        self.assertEqual(result, {'CANCELLED'})
        self.assertIn(('ERROR', "This Grit type is not implemented yet"), reports)
        bs.configure(mode='UV_MAP')


os.makedirs(bs.config_dir(), exist_ok=True)
with open(os.path.join(bs.config_dir(), "Murkwell.ini"), "w") as f:
    f.write(INITIAL_INI)
FOLDER = bs.install_addon(ARGS.zip)
bs.run(Installed, Panel, Bakes)
