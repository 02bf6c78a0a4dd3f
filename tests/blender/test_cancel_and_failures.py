"""The operator's cancel and its failures in Blender: a UV Map bake cancelled after a few polls
asks "Save Partial Bitmap?" and keeps or drops the partial map as answered; a mesh without UV
maps gives a black map and a warning; a camera, a curve in Vertex Colors mode and an empty
selection end with the plug-in's own messages as error reports, leaving the scene alone.

Run by CTest: blender -b --factory-startup --python test_cancel_and_failures.py -- --zip ZIP
"""
import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_support as bs  # noqa: E402

import bpy  # noqa: E402

ARGS = bs.arguments()
EXAMPLE = os.path.join(ARGS.source, "examples", "grooved_block.obj")


class Cancel(unittest.TestCase):
    def setUp(self):
        bs.empty_scene()
        self.block = bs.import_obj(EXAMPLE)
        # One worker, a large map and the widest ray fan: seconds of work on any machine, so the
        # cancel lands (the run looks at its cancel button every half second).
        scene = bpy.context.scene
        scene.render.threads_mode = 'FIXED'
        scene.render.threads = 1
        bs.configure(mode='UV_MAP', map_width=1024, map_height=1024, distance=2.0, spread_horizontal=24,
                     spread_vertical=10, selected_only=False)

    def tearDown(self):
        bpy.context.scene.render.threads_mode = 'AUTO'

    def test_partial_map_kept(self):
        result, reports = bs.generate(cancel_after_polls=2, save_partial='YES')
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertTrue(any(t.startswith("elapsed time = ") for _, t in reports), reports)
        self.assertIn(('INFO', 'Grit map in image "grooved_block grit" (1024 x 1024) (partial map)'), reports)
        levels, exact = bs.image_levels(bpy.data.images["grooved_block grit"])
        self.assertTrue(exact)
        # The rows the workers had not reached are black: most of the map.
        self.assertGreater(levels.count(0), 1024 * 1024 * 3 // 4)
        self.assertGreater(max(levels), 0)

    def test_partial_map_discarded(self):
        result, reports = bs.generate(cancel_after_polls=2, save_partial='NO')
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertIn(('INFO', "Cancelled; the partial map was not kept"), reports)
        self.assertNotIn("grooved_block grit", bpy.data.images)

    def test_nobody_to_ask_keeps_the_partial_map(self):
        result, reports = bs.generate(cancel_after_polls=0)
        self.assertIn(('INFO', "Save Partial Bitmap? yes (no one to ask)"), reports)
        self.assertIn("grooved_block grit", bpy.data.images)

    def test_cancelled_vertex_run_leaves_the_colours(self):
        # A dense mesh with crevices: about 50 000 triangles, seconds of work for one worker.
        bs.empty_scene()
        bpy.ops.mesh.primitive_monkey_add()
        monkey = bpy.context.object
        bpy.ops.object.mode_set(mode='EDIT')
        bpy.ops.mesh.select_all(action='SELECT')
        bpy.ops.mesh.subdivide(number_cuts=6)
        bpy.ops.object.mode_set(mode='OBJECT')
        bs.configure(mode='VERTEX_COLORS', colour_mode='REPLACE', distance=1.0)
        result, reports = bs.generate(cancel_after_polls=0)
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertIn(('INFO', "Cancelled; the colours were not changed"), reports)
        self.assertNotIn("Grit", monkey.data.color_attributes)
        self.assertFalse(any(t.startswith("Grit calculation complete") for _, t in reports), reports)


class Failures(unittest.TestCase):
    def setUp(self):
        bs.empty_scene()
        bs.configure(mode='UV_MAP', map_width=64, map_height=64, distance=2.0, spread_horizontal=8,
                     spread_vertical=1, selected_only=False)

    def test_mesh_without_uv_maps_gives_a_black_map_and_a_warning(self):
        bpy.ops.mesh.primitive_cube_add(size=4.0)
        cube = bpy.context.object
        while cube.data.uv_layers:
            cube.data.uv_layers.remove(cube.data.uv_layers[0])
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertIn(('WARNING', "Cube has no UV map: the grit map stays black"), reports)
        levels, _ = bs.image_levels(bpy.data.images["Cube grit"])
        self.assertEqual(set(levels), {0})

    def test_camera_selected(self):
        bpy.ops.object.camera_add()
        result, reports = bs.generate()
        self.assertEqual(result, {'CANCELLED'})
        self.assertIn(('ERROR', "Could not get TriObject"), reports)
        self.assertEqual(len(bpy.data.images), 0)

    def test_nothing_selected(self):
        bpy.ops.mesh.primitive_cube_add()
        bs.select_only()
        for mode in ('UV_MAP', 'VERTEX_COLORS'):
            bs.configure(mode=mode)
            result, reports = bs.generate()
            self.assertEqual(result, {'CANCELLED'})
            self.assertIn(('ERROR', "Select exactly one node"), reports)
        self.assertEqual(len(bpy.data.images), 0)

    def test_two_selected(self):
        bpy.ops.mesh.primitive_cube_add(location=(0, 0, 0))
        first = bpy.context.object
        bpy.ops.mesh.primitive_cube_add(location=(5, 0, 0))
        bs.select_only(first, bpy.context.object)
        result, reports = bs.generate()
        self.assertIn(('ERROR', "Select exactly one node"), reports)

    def test_curve_bakes_a_map_but_takes_no_vertex_colours(self):
        bpy.ops.curve.primitive_bezier_circle_add()
        curve = bpy.context.object
        curve.data.extrude = 0.5
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertIn("BezierCircle grit", bpy.data.images)
        bs.configure(mode='VERTEX_COLORS')
        result, reports = bs.generate()
        self.assertEqual(result, {'CANCELLED'})
        self.assertIn(('ERROR', "Object must be unmodified Editable Mesh"), reports)

    def test_vertex_colours_in_edit_mode_survive_leaving_it(self):
        bpy.ops.mesh.primitive_cube_add()
        cube = bpy.context.object
        bpy.ops.object.mode_set(mode='EDIT')
        bs.configure(mode='VERTEX_COLORS', colour_mode='REPLACE')
        result, reports = bs.generate()
        self.assertEqual(result, {'FINISHED'}, reports)
        self.assertEqual(cube.mode, 'EDIT')
        bpy.ops.object.mode_set(mode='OBJECT')
        self.assertIn("Grit", cube.data.color_attributes)


bs.install_addon(ARGS.zip)
bs.run(Cancel, Failures)
