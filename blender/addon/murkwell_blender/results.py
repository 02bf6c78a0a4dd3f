"""What a finished bake leaves in the scene: the grit map as an image datablock "<object> grit"
holding the 16-bit grey levels exactly (a float image, level / 65535, not colour managed),
optionally saved as a 16-bit PNG; or the grit vertex colours as the float colour attribute
"Grit"."""

import array
import os

import bpy

from . import library

COLOUR_ATTRIBUTE = "Grit"


def image_name(object_name):
    return object_name + " grit"


def store_image(lib, object_name):
    """The image datablock filled with the bitmap the run wrote, or None when it wrote none."""
    size = lib.bake_image_size()
    if size is None:
        return None
    width, height = size
    pixels = array.array('f', bytes(4 * 4 * width * height))
    lib.bake_image_rgba(pixels)

    name = image_name(object_name)
    image = bpy.data.images.get(name)
    if image is not None and (tuple(image.size) != (width, height) or not image.is_float or image.source != 'GENERATED'):
        # Another size or kind of image under this name: it gives way, and what used it uses the
        # new one.
        fresh = bpy.data.images.new(name + ".new", width, height, alpha=True, float_buffer=True, is_data=True)
        image.user_remap(fresh)
        bpy.data.images.remove(image)
        fresh.name = name
        image = fresh
    elif image is None:
        image = bpy.data.images.new(name, width, height, alpha=True, float_buffer=True, is_data=True)
    # Grey levels are data, not colours: no view transform may touch them, in memory or on disk.
    image.colorspace_settings.name = 'Non-Color'
    image.pixels.foreach_set(pixels)
    image.update()
    return image


def save_png(image, path):
    """Saves the image as a 16-bit PNG at `path` (a // path is relative to the .blend file). The
    file is written beside the target and renamed over it only when complete, so a failed save
    leaves an existing file as it was. Returns the absolute path written."""
    target = bpy.path.abspath(path)
    if not target.lower().endswith(".png"):
        target += ".png"
    folder = os.path.dirname(target) or "."
    os.makedirs(folder, exist_ok=True)
    temporary = os.path.join(folder, ".%s.murkwell-tmp.png" % os.path.basename(target))
    try:
        image.file_format = 'PNG'
        image.save(filepath=temporary)
        os.replace(temporary, target)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return target


def store_colours(lib, mesh, loop_count, vertex_count):
    """Writes the run's colours into the colour attribute "Grit" of `mesh` (made the active one):
    on the point domain when every vertex has one colour, on the corner domain otherwise. Returns
    the attribute, or None when the run wrote no colours."""
    loop_colours = array.array('f', bytes(4 * 4 * loop_count))
    vertex_colours = array.array('f', bytes(4 * 4 * vertex_count))
    one_per_vertex = lib.bake_colours(loop_colours, vertex_colours)
    if one_per_vertex is None:
        return None
    domain = 'POINT' if one_per_vertex else 'CORNER'
    attributes = mesh.color_attributes
    old = attributes.get(COLOUR_ATTRIBUTE)
    if old is not None and (old.domain != domain or old.data_type != 'FLOAT_COLOR'):
        attributes.remove(old)
        old = None
    attribute = old or attributes.new(COLOUR_ATTRIBUTE, 'FLOAT_COLOR', domain)
    attribute.data.foreach_set("color", vertex_colours if one_per_vertex else loop_colours)
    attributes.active_color = attribute
    if hasattr(attributes, "render_color_index"):
        attributes.render_color_index = attributes.active_color_index
    mesh.update()
    return attribute
