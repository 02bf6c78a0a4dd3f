"""The plug-in's thirteen settings as Blender properties (window-manager properties: like the
plug-in's settings file they belong to the user, not to a .blend file). Their kinds, defaults and
ranges come from the plug-in's settings table through the host library. The values travel to and
from the settings file only through the plug-in's own panel: reading opens the page (which loads
the file) and reads its controls; saving sets the page's controls and closes it (which saves the
file)."""

import bpy

from . import library

ALGORITHM_UV_MAP = 1008
ALGORITHM_VERTEX_COLORS = 1009
ALGORITHM_SPATIAL = 1010

MODES = [
    ("UV_MAP", "UV Map", "Bake grit into a 16-bit grey image laid out in a UV map", ALGORITHM_UV_MAP),
    ("VERTEX_COLORS", "Vertex Colors", "Write 1 - grit into a colour attribute (dark in crevices)",
     ALGORITHM_VERTEX_COLORS),
    ("SPATIAL", "Spatial", "Shown by the plug-in, not implemented", ALGORITHM_SPATIAL),
]
MODE_OF_ALGORITHM = {number: identifier for identifier, _, _, number in MODES}
ALGORITHM_OF_MODE = {identifier: number for identifier, _, _, number in MODES}

COLOUR_MODES = [
    ("REPLACE", "Replace", "The grit colours replace the old ones", 0),
    ("ACCUMULATE", "Accumulate", "Multiply the active colour attribute by the grit colours", 1),
]

# Setting key -> (property name, label, description). The map channel is the UV map chosen by
# name; `map_channel` keeps the number for the settings file.
PROPERTIES = {
    "algorithm": ("mode", "Algorithm", ""),
    "XSiz": ("map_width", "Width", "Width of the grit map in texels"),
    "YSiz": ("map_height", "Height", "Height of the grit map in texels"),
    "horizontalSpread": ("spread_horizontal", "Horizontal", "Directions in each ring of the ray fan"),
    "verticalSpread": ("spread_vertical", "Vertical", "Elevation rings of the ray fan"),
    "mapChannel": ("map_channel", "Map Channel", "The UV map's number (1 is the first UV map)"),
    "dist": ("distance", "Distance", "Ray length in the mesh's units"),
    "selectedOnly": ("selected_only", "Selected Faces Only", "Only the selected faces receive grit"),
    "noiseOn": ("noise", "Noise", "Modulate the map by 3-D noise"),
    "noiseSize": ("noise_size", "Size", "Scale of the noise"),
    "mtlIDOn": ("material_filter", "Filter by Material", "Only faces of one material slot receive grit"),
    "mtlID": ("material_id", "Slot", "The material slot (1 is the first slot)"),
    "addVertexColors": ("colour_mode", "Vertex Colors", "Replace the old colours or multiply them"),
}

# The page's enabled state of each setting's control, as the plug-in last showed it.
_enabled = {}
# Set while properties are filled from the page, so that filling them saves nothing.
_loading = False
_save_pending = False


def table():
    lib = library.load()
    return lib.settings if lib else []


def _on_change(self, context):
    if not _loading:
        schedule_save()


def _on_mode_change(self, context):
    # The page's enabled controls follow the mode at once.
    if not _loading:
        save_now()


def _on_uv_map_change(self, context):
    if _loading:
        return
    obj = context.object if context else None
    layers = getattr(getattr(obj, "data", None), "uv_layers", None)
    if layers is not None and self.uv_map in layers:
        self.map_channel = list(layers.keys()).index(self.uv_map) + 1
    schedule_save()


def make_property_group(shown=None):
    """The property group for the settings table the host library reports. `shown` (values in
    the table's order, as the plug-in's page showed them) become the properties' defaults, so the
    properties start as the settings file has them: while add-ons register, Blender allows no
    property to be set. Without it, the table's defaults."""
    annotations = {}
    for i, entry in enumerate(table()):
        name, label, description = PROPERTIES[entry["key"]]
        kind = entry["type"]
        if shown is not None:
            entry = dict(entry, default=shown[i])
        if kind == library.SETTING_ALGORITHM:
            annotations[name] = bpy.props.EnumProperty(
                name=label, items=MODES, default=MODE_OF_ALGORITHM.get(int(entry["default"]), "UV_MAP"),
                update=_on_mode_change)
        elif entry["key"] == "addVertexColors":
            annotations[name] = bpy.props.EnumProperty(
                name=label, description=description, items=COLOUR_MODES,
                default=COLOUR_MODES[int(entry["default"])][0], update=_on_change)
        elif kind == library.SETTING_FLAG:
            annotations[name] = bpy.props.BoolProperty(name=label, description=description,
                                                       default=bool(entry["default"]), update=_on_change)
        elif kind == library.SETTING_FLOAT:
            annotations[name] = bpy.props.FloatProperty(
                name=label, description=description, default=entry["default"], min=entry["min"], max=entry["max"],
                soft_min=entry["min"], soft_max=entry["max"], precision=3, update=_on_change,
                # Blender counts a float's step in hundredths.
                step=max(1, int(round(entry["step"] * 100))))
        else:
            annotations[name] = bpy.props.IntProperty(
                name=label, description=description, default=int(entry["default"]), min=int(entry["min"]),
                max=int(entry["max"]), update=_on_change)
    annotations["uv_map"] = bpy.props.StringProperty(
        name="UV Map", description="The UV map the grit map is laid out in (empty: the active UV map)",
        update=_on_uv_map_change)
    return type("MurkwellSettings", (bpy.types.PropertyGroup,), {"__annotations__": annotations})


def values_of(props):
    """The property values in the settings table's order, as the host library takes them."""
    values = []
    for entry in table():
        name = PROPERTIES[entry["key"]][0]
        value = getattr(props, name)
        if entry["type"] == library.SETTING_ALGORITHM:
            value = ALGORITHM_OF_MODE[value]
        elif entry["key"] == "addVertexColors":
            value = 1 if value == "ACCUMULATE" else 0
        values.append(float(value))
    return values


def fill(props, values, obj=None):
    """Shows values read from the page in the properties, without saving them back."""
    global _loading
    _loading = True
    try:
        for entry, value in zip(table(), values):
            name = PROPERTIES[entry["key"]][0]
            if entry["type"] == library.SETTING_ALGORITHM:
                setattr(props, name, MODE_OF_ALGORITHM.get(int(value), "UV_MAP"))
            elif entry["key"] == "addVertexColors":
                setattr(props, name, "ACCUMULATE" if value else "REPLACE")
            elif entry["type"] == library.SETTING_FLAG:
                setattr(props, name, bool(value))
            elif entry["type"] == library.SETTING_FLOAT:
                setattr(props, name, value)
            else:
                setattr(props, name, int(value))
        layers = getattr(getattr(obj, "data", None), "uv_layers", None)
        if layers is not None and 1 <= props.map_channel <= len(layers):
            props.uv_map = layers[props.map_channel - 1].name
    finally:
        _loading = False


def remember_enabled(enabled):
    _enabled.clear()
    for entry, on in zip(table(), enabled):
        _enabled[entry["key"]] = on


def is_enabled(key):
    return _enabled.get(key, True)


def read_page():
    """(values, enabled) as the plug-in's page shows them after loading the settings file, or
    None (with the reason printed) when the page cannot be read."""
    lib = library.load()
    if lib is None or library.load_error():
        return None
    try:
        return lib.panel_read()
    except library.MurkwellError as e:
        print("Murkwell: the settings could not be read:", e)
        return None


def window_manager_settings():
    wms = bpy.data.window_managers
    return wms[0].murkwell if len(wms) and hasattr(wms[0], "murkwell") else None


def load(obj=None):
    """Reads the settings file through the plug-in's page into the properties. Returns an error
    text, or None."""
    lib = library.load()
    props = window_manager_settings()
    if not lib or props is None:
        return library.load_error() or "the settings are not registered"
    try:
        values, enabled = lib.panel_read()
    except library.MurkwellError as e:
        return str(e)
    fill(props, values, obj)
    remember_enabled(enabled)
    return None


def save_now():
    """Sets the plug-in's page to the properties and closes it, which saves the settings file.
    While a bake runs the page is busy; the save is then made when the bake ends."""
    global _save_pending
    lib = library.load()
    props = window_manager_settings()
    if not lib or props is None:
        return
    try:
        remember_enabled(lib.panel_write(values_of(props)))
        _save_pending = False
    except library.MurkwellError as e:
        if e.status == library.BUSY:
            _save_pending = True
        else:
            print("Murkwell: the settings could not be saved:", e)
    _redraw_panels()


def save_if_pending():
    if _save_pending:
        save_now()


def _timer_save():
    save_now()
    return None


def schedule_save():
    """Saves shortly after the last change, so that dragging a value does not rewrite the file
    at every step."""
    if bpy.app.timers.is_registered(_timer_save):
        bpy.app.timers.unregister(_timer_save)
    bpy.app.timers.register(_timer_save, first_interval=0.2)


def cancel_scheduled_save():
    if bpy.app.timers.is_registered(_timer_save):
        bpy.app.timers.unregister(_timer_save)


def _redraw_panels():
    for wm in bpy.data.window_managers:
        for window in wm.windows:
            for area in window.screen.areas:
                if area.type == 'VIEW_3D':
                    area.tag_redraw()
