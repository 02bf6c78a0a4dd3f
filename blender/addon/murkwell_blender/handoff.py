"""The scene a bake hands the plug-in: the selected objects and, when exactly one is selected, its
geometry as arrays in Blender's own order (vertices, loops, polygons, the polygons' triangles).

UV Map bakes the evaluated mesh (modifiers applied); Vertex Colors works on the object's own
mesh, since that is where its colours are written. Positions are in object space."""

import array
import math

import bpy

from . import library

# Object types Blender can turn into a mesh.
CONVERTIBLE_TYPES = {'CURVE', 'SURFACE', 'FONT', 'META'}


def _zeros(code, count):
    return array.array(code, bytes(array.array(code).itemsize * count))


def _get(collection, attribute, code, count):
    values = _zeros(code, count)
    if count:
        collection.foreach_get(attribute, values)
    return values


def _smoothing(mesh):
    """(sharp edges as vertex pairs, auto-smooth angle in degrees or -1) as the mesh shades.
    Up to Blender 4.0 sharp edges and the angle count only with auto smooth on; from 4.1 on sharp
    edges always count and the angle has become a modifier already applied to the evaluated
    mesh."""
    use_auto_smooth = getattr(mesh, "use_auto_smooth", None)
    if use_auto_smooth is False:
        return array.array('i'), -1.0
    angle = math.degrees(mesh.auto_smooth_angle) if use_auto_smooth else -1.0
    edge_count = len(mesh.edges)
    sharp = _get(mesh.edges, "use_edge_sharp", 'b', edge_count)
    if not any(sharp):
        return array.array('i'), angle
    vertices = _get(mesh.edges, "vertices", 'i', 2 * edge_count)
    pairs = array.array('i')
    for e in range(edge_count):
        if sharp[e]:
            pairs.append(vertices[2 * e])
            pairs.append(vertices[2 * e + 1])
    return pairs, angle


def _active_colours(mesh):
    """(domain, r g b a per vertex or loop) of the mesh's active colour attribute, or
    (COLOURS_NONE, None)."""
    attributes = getattr(mesh, "color_attributes", None)
    active = getattr(attributes, "active_color", None) if attributes is not None else None
    if active is None:
        return library.COLOURS_NONE, None
    if active.domain == 'POINT':
        domain, count = library.COLOURS_POINT, len(mesh.vertices)
    elif active.domain == 'CORNER':
        domain, count = library.COLOURS_CORNER, len(mesh.loops)
    else:
        return library.COLOURS_NONE, None
    return domain, _get(active.data, "color", 'f', 4 * count)


def uv_layer_for(mesh, name):
    """(index, layer) of the UV map `name`, else of the active UV map; (-1, None) without UV maps."""
    layers = mesh.uv_layers
    if name and name in layers:
        return list(layers.keys()).index(name), layers[name]
    if layers.active is not None:
        return list(layers.keys()).index(layers.active.name), layers.active
    return -1, None


class MeshArrays:
    """A mesh's arrays and the library's record pointing at them; the arrays live as long as
    this object."""

    def __init__(self, mesh, uv_name, with_uvs=True, with_colours=False):
        mesh.calc_loop_triangles()
        self.vertex_count = len(mesh.vertices)
        self.loop_count = len(mesh.loops)
        self.polygon_count = len(mesh.polygons)
        self.triangle_count = len(mesh.loop_triangles)
        self.positions = _get(mesh.vertices, "co", 'f', 3 * self.vertex_count)
        self.triangle_vertices = _get(mesh.loop_triangles, "vertices", 'i', 3 * self.triangle_count)
        self.triangle_loops = _get(mesh.loop_triangles, "loops", 'i', 3 * self.triangle_count)
        self.triangle_polygons = _get(mesh.loop_triangles, "polygon_index", 'i', self.triangle_count)
        self.polygon_materials = _get(mesh.polygons, "material_index", 'i', self.polygon_count)
        self.polygon_selected = _get(mesh.polygons, "select", 'B', self.polygon_count)
        self.polygon_smooth = _get(mesh.polygons, "use_smooth", 'B', self.polygon_count)
        self.sharp_edges, self.smooth_angle = _smoothing(mesh)

        self.uv_index, layer = uv_layer_for(mesh, uv_name) if with_uvs else (-1, None)
        self.uv_name = layer.name if layer is not None else ""
        self.loop_uvs = _get(layer.data, "uv", 'f', 2 * self.loop_count) if layer is not None else None

        self.colour_domain, self.colours = _active_colours(mesh) if with_colours else (library.COLOURS_NONE, None)

        m = library.Mesh()
        m.vertex_count = self.vertex_count
        m.positions = library.pointer_to(self.positions, library.ctypes.c_float)
        m.loop_count = self.loop_count
        m.polygon_count = self.polygon_count
        m.triangle_count = self.triangle_count
        m.triangle_vertices = library.pointer_to(self.triangle_vertices, library.ctypes.c_int32)
        m.triangle_loops = library.pointer_to(self.triangle_loops, library.ctypes.c_int32)
        m.triangle_polygons = library.pointer_to(self.triangle_polygons, library.ctypes.c_int32)
        m.polygon_materials = library.pointer_to(self.polygon_materials, library.ctypes.c_int32)
        m.polygon_selected = library.pointer_to(self.polygon_selected, library.ctypes.c_uint8)
        m.polygon_smooth = library.pointer_to(self.polygon_smooth, library.ctypes.c_uint8)
        m.sharp_edge_count = len(self.sharp_edges) // 2
        m.sharp_edges = library.pointer_to(self.sharp_edges, library.ctypes.c_int32)
        m.smooth_angle_degrees = self.smooth_angle
        m.map_channel = self.uv_index + 1 if self.uv_index >= 0 else 1
        m.loop_uvs = library.pointer_to(self.loop_uvs, library.ctypes.c_float)
        m.colour_domain = self.colour_domain
        m.colours = library.pointer_to(self.colours, library.ctypes.c_float)
        self.record = m


class HandOff:
    """What one bake hands over: the selection and the one selected object's mesh."""

    def restore_edit_mode(self):
        """Brings back the edit mode the bake left."""
        if self.left_edit_mode and self.object is not None and self.object.mode != 'EDIT':
            bpy.context.view_layer.objects.active = self.object
            bpy.ops.object.mode_set(mode='EDIT')
        self.left_edit_mode = False

    def __init__(self, context, vertex_mode, uv_name):
        self.selected = list(context.selected_objects)
        self.object = self.selected[0] if len(self.selected) == 1 else None
        self.kind = library.OBJECT_OTHER
        self.arrays = None
        # The mesh the results belong to: the object's own mesh in vertex mode.
        self.target_mesh = None
        self._evaluated = None
        # Edit mode keeps the mesh's own arrays from Python; a Vertex Colors bake, which reads and
        # writes them, takes the object out of edit mode and the job brings it back.
        self.left_edit_mode = False
        obj = self.object
        if obj is not None:
            if obj.type == 'MESH':
                self.kind = library.OBJECT_MESH
            elif obj.type in CONVERTIBLE_TYPES:
                self.kind = library.OBJECT_CONVERTIBLE
            if self.kind != library.OBJECT_OTHER:
                if obj.mode == 'EDIT':
                    if vertex_mode and self.kind == library.OBJECT_MESH:
                        context.view_layer.objects.active = obj
                        bpy.ops.object.mode_set(mode='OBJECT')
                        self.left_edit_mode = True
                    else:
                        obj.update_from_editmode()
                if vertex_mode and self.kind == library.OBJECT_MESH:
                    mesh = obj.data
                    self.target_mesh = mesh
                else:
                    depsgraph = context.evaluated_depsgraph_get()
                    self._evaluated = obj.evaluated_get(depsgraph)
                    mesh = self._evaluated.to_mesh(preserve_all_data_layers=True, depsgraph=depsgraph)
                self.arrays = MeshArrays(mesh, uv_name, with_uvs=not vertex_mode, with_colours=vertex_mode)
                if self._evaluated is not None:
                    self._evaluated.to_mesh_clear()
                    self._evaluated = None

        scene = library.Scene()
        scene.selected_count = len(self.selected)
        self._name = (obj.name if obj is not None else "").encode("utf-8")
        scene.name = self._name
        scene.object_kind = self.kind
        scene.mesh = library.ctypes.pointer(self.arrays.record) if self.arrays is not None else None
        self.record = scene
