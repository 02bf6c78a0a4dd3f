"""Murkwell inside Blender: grit (how enclosed each point of a surface is) baked into a 16-bit grey
image laid out in a UV map, or into a colour attribute. The computation is the Murkwell plug-in
itself, driven through its own panel by the host library that ships with this add-on."""

bl_info = {
    "name": "Murkwell",
    "author": "Murkwell developers",
    "version": (0, 26, 0),
    "blender": (3, 4, 0),
    "location": "3D Viewport > Sidebar > Murkwell",
    "description": "Bake grit into a 16-bit grey map or into vertex colours",
    "category": "Object",
}

import atexit

import bpy
from bpy.app.handlers import persistent

from . import library, operators, settings, ui

_settings_class = None


def config_dir():
    """The plug-in configuration folder: murkwell/ in Blender's user configuration."""
    return bpy.utils.user_resource('CONFIG', path="murkwell", create=True)


@persistent
def _reload_after_file_load(_dummy):
    settings.load()


def _shutdown():
    lib = library.load()
    if lib is not None:
        try:
            lib.shutdown()
        except library.MurkwellError:
            pass


def register():
    global _settings_class
    lib = library.load()
    if lib is not None:
        library.set_error(None)  # a plug-in that failed before may load now
        try:
            lib.init(config_dir())
        except library.MurkwellError as e:
            library.set_error(str(e))
            print("Murkwell:", e)
        page = settings.read_page()
        if page is not None:
            settings.remember_enabled(page[1])
        _settings_class = settings.make_property_group(page[0] if page is not None else None)
        bpy.utils.register_class(_settings_class)
        bpy.types.WindowManager.murkwell = bpy.props.PointerProperty(type=_settings_class)
    bpy.types.Scene.murkwell_image_path = bpy.props.StringProperty(
        name="Save PNG", description="Also save the grit map as a 16-bit PNG here (empty: keep it in Blender only)",
        subtype='FILE_PATH')
    for cls in operators.classes + ui.classes:
        bpy.utils.register_class(cls)
    if _reload_after_file_load not in bpy.app.handlers.load_post:
        bpy.app.handlers.load_post.append(_reload_after_file_load)
    atexit.register(_shutdown)


def unregister():
    global _settings_class
    atexit.unregister(_shutdown)
    _shutdown()
    settings.cancel_scheduled_save()
    if _reload_after_file_load in bpy.app.handlers.load_post:
        bpy.app.handlers.load_post.remove(_reload_after_file_load)
    for cls in reversed(operators.classes + ui.classes):
        bpy.utils.unregister_class(cls)
    del bpy.types.Scene.murkwell_image_path
    if _settings_class is not None:
        del bpy.types.WindowManager.murkwell
        bpy.utils.unregister_class(_settings_class)
        _settings_class = None
