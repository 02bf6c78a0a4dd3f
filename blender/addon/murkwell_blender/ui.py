"""The sidebar panel of the 3-D view, tab "Murkwell": the plug-in's page as Blender shows it.
The controls follow the page's layout (algorithm, distance, selection, ray spread, map size, UV
map, noise, material filter, vertex colours) and are greyed out where the page disables them for
the chosen algorithm."""

import bpy

from . import library, results, settings


def _group(layout, key, title=None):
    """A box for one group of the page, enabled as the page's control of `key` is."""
    box = layout.box() if title else layout.column()
    if title:
        box.label(text=title)
    box.enabled = settings.is_enabled(key)
    return box


class VIEW3D_PT_murkwell(bpy.types.Panel):
    bl_space_type = 'VIEW_3D'
    bl_region_type = 'UI'
    bl_category = "Murkwell"
    bl_label = "Murkwell"

    def draw(self, context):
        layout = self.layout
        lib = library.load()
        props = getattr(context.window_manager, "murkwell", None)
        if lib is None or props is None or library.load_error():
            layout.label(text="Murkwell is not available", icon='ERROR')
            if library.load_error():
                layout.label(text=library.load_error())
            return

        layout.label(text="Algorithm")
        layout.row().prop(props, "mode", expand=True)
        layout.prop(props, "distance")
        layout.prop(props, "selected_only")

        spread = layout.box()
        spread.label(text="Ray Spread")
        spread.prop(props, "spread_vertical")
        spread.prop(props, "spread_horizontal")

        size = _group(layout, "XSiz", "Map Size")
        row = size.row(align=True)
        row.prop(props, "map_width", text="")
        row.label(text="x")
        row.prop(props, "map_height", text="")

        uv = _group(layout, "mapChannel")
        mesh = getattr(context.object, "data", None)
        if mesh is not None and hasattr(mesh, "uv_layers"):
            uv.prop_search(props, "uv_map", mesh, "uv_layers", text="UV Map")
        else:
            uv.prop(props, "uv_map")

        noise = _group(layout, "noiseOn", "Noise")
        noise.prop(props, "noise", text="On")
        row = noise.row()
        row.enabled = settings.is_enabled("noiseSize")
        row.prop(props, "noise_size")

        material = _group(layout, "mtlIDOn", "Filter by Material ID")
        material.prop(props, "material_filter", text="On")
        row = material.row()
        row.enabled = settings.is_enabled("mtlID")
        row.prop(props, "material_id")
        slots = getattr(context.object, "material_slots", None)
        if slots is not None and 1 <= props.material_id <= len(slots):
            slot = slots[props.material_id - 1]
            row.label(text=slot.material.name if slot.material else "(empty slot)")

        colours = _group(layout, "addVertexColors")
        colours.prop(props, "colour_mode", expand=True)

        if props.mode == 'UV_MAP':
            layout.prop(context.scene, "murkwell_image_path")
            if context.object is not None:
                layout.label(text="Image: \"%s\"" % results.image_name(context.object.name), icon='IMAGE_DATA')

        layout.separator()
        layout.operator("murkwell.generate", icon='PLAY')
        layout.operator("murkwell.about", text="About...")


classes = (VIEW3D_PT_murkwell,)
