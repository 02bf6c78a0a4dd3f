"""The host library libmurkwell-blender.so through ctypes: loading it (with the host layer and the
plug-in library that lie beside it), the settings table, the plug-in's panel, and the bake on the
library's own thread. Every call that fails raises MurkwellError with the library's message."""

import ctypes
import os

API_VERSION = 1

# Status codes.
OK = 0
ERROR = 1
INVALID_ARGUMENT = 2
NOT_INITIALISED = 3
BUSY = 4
NO_RESULT = 5

# Setting types.
SETTING_INT = 0
SETTING_FLOAT = 1
SETTING_FLAG = 2
SETTING_ALGORITHM = 3

# Object kinds and colour domains of the scene handed over.
OBJECT_MESH = 0
OBJECT_CONVERTIBLE = 1
OBJECT_OTHER = 2
COLOURS_NONE = 0
COLOURS_POINT = 1
COLOURS_CORNER = 2

# Bake states.
BAKE_IDLE = 0
BAKE_RUNNING = 1
BAKE_DONE = 2

# Message-box style bits the plug-in uses.
MB_YESNO = 0x04
MB_ICONINFORMATION = 0x40

HOST_LIBRARY = "libmurkwell-blender.so"
PLUGIN_LIBRARY = "murkwell-plugin.so"


class MurkwellError(Exception):
    def __init__(self, status, message):
        super().__init__(message or "failed (status %d)" % status)
        self.status = status


class SettingInfo(ctypes.Structure):
    _fields_ = [("key", ctypes.c_char_p), ("type", ctypes.c_int32), ("default_value", ctypes.c_double),
                ("min", ctypes.c_double), ("max", ctypes.c_double), ("step", ctypes.c_double)]


class Mesh(ctypes.Structure):
    _fields_ = [
        ("vertex_count", ctypes.c_int32), ("positions", ctypes.POINTER(ctypes.c_float)),
        ("loop_count", ctypes.c_int32), ("polygon_count", ctypes.c_int32), ("triangle_count", ctypes.c_int32),
        ("triangle_vertices", ctypes.POINTER(ctypes.c_int32)), ("triangle_loops", ctypes.POINTER(ctypes.c_int32)),
        ("triangle_polygons", ctypes.POINTER(ctypes.c_int32)),
        ("polygon_materials", ctypes.POINTER(ctypes.c_int32)), ("polygon_selected", ctypes.POINTER(ctypes.c_uint8)),
        ("polygon_smooth", ctypes.POINTER(ctypes.c_uint8)),
        ("sharp_edge_count", ctypes.c_int32), ("sharp_edges", ctypes.POINTER(ctypes.c_int32)),
        ("smooth_angle_degrees", ctypes.c_double),
        ("map_channel", ctypes.c_int32), ("loop_uvs", ctypes.POINTER(ctypes.c_float)),
        ("colour_domain", ctypes.c_int32), ("colours", ctypes.POINTER(ctypes.c_float)),
    ]


class Scene(ctypes.Structure):
    _fields_ = [("selected_count", ctypes.c_int32), ("name", ctypes.c_char_p), ("object_kind", ctypes.c_int32),
                ("mesh", ctypes.POINTER(Mesh))]


class BakeStatus(ctypes.Structure):
    _fields_ = [("state", ctypes.c_int32), ("progress_shown", ctypes.c_int32), ("progress_percent", ctypes.c_int32),
                ("messages", ctypes.c_int32), ("question_pending", ctypes.c_int32), ("cancel_seen", ctypes.c_int32),
                ("progress_title", ctypes.c_char * 96)]


def pointer_to(array_object, ctype):
    """A ctypes pointer to the items of an array.array (or any writable buffer), or None when it
    is None or empty. The array must outlive every use of the pointer."""
    if array_object is None or len(array_object) == 0:
        return None
    return ctypes.cast((ctype * len(array_object)).from_buffer(array_object), ctypes.POINTER(ctype))


class HostLibrary:
    """The loaded host library. One per process: ctypes keeps the library loaded, and the library
    keeps the plug-in loaded."""

    def __init__(self, folder):
        self.folder = folder
        path = os.path.join(folder, HOST_LIBRARY)
        try:
            self._lib = ctypes.CDLL(path)
        except OSError as e:
            raise MurkwellError(ERROR, "cannot load %s: %s" % (path, e)) from None
        self._declare()
        version = self._lib.mw_api_version()
        if version != API_VERSION:
            raise MurkwellError(ERROR, "%s has interface version %d; this add-on needs %d" % (path, version, API_VERSION))
        self.settings = self._settings_table()

    def _declare(self):
        lib = self._lib
        i32, f64, p = ctypes.c_int32, ctypes.c_double, ctypes.POINTER
        signatures = {
            "mw_api_version": [],
            "mw_init": [ctypes.c_char_p, ctypes.c_char_p],
            "mw_shutdown": [],
            "mw_setting_count": [],
            "mw_setting_at": [i32, p(SettingInfo)],
            "mw_panel_read": [p(f64), i32, p(ctypes.c_uint8)],
            "mw_panel_write": [p(f64), i32, p(ctypes.c_uint8)],
            "mw_about": [ctypes.c_char_p, i32, p(i32)],
            "mw_bake_start": [p(f64), i32, p(Scene), i32],
            "mw_bake_poll": [p(BakeStatus)],
            "mw_bake_next_message": [ctypes.c_char_p, i32, p(ctypes.c_uint32)],
            "mw_bake_question": [ctypes.c_char_p, i32],
            "mw_bake_answer": [i32],
            "mw_bake_cancel": [],
            "mw_bake_image_size": [p(i32), p(i32)],
            "mw_bake_image_grey16": [p(ctypes.c_uint16), ctypes.c_int64],
            "mw_bake_image_rgba": [p(ctypes.c_float), ctypes.c_int64],
            "mw_bake_colours": [p(ctypes.c_float), ctypes.c_int64, p(ctypes.c_float), ctypes.c_int64, p(i32)],
            "mw_bake_timings": [p(f64), p(f64)],
            "mw_bake_finish": [],
        }
        for name, args in signatures.items():
            fn = getattr(lib, name)
            fn.argtypes = args
            fn.restype = i32
        lib.mw_last_error.argtypes = []
        lib.mw_last_error.restype = ctypes.c_char_p

    def _check(self, status, allowed=(OK,)):
        if status in allowed:
            return status
        message = self._lib.mw_last_error()
        raise MurkwellError(status, message.decode("utf-8", "replace") if message else "")

    def _settings_table(self):
        table = []
        info = SettingInfo()
        for i in range(self._lib.mw_setting_count()):
            self._check(self._lib.mw_setting_at(i, ctypes.byref(info)))
            table.append({"key": info.key.decode(), "type": info.type, "default": info.default_value,
                          "min": info.min, "max": info.max, "step": info.step})
        return table

    # ---- set-up ----

    def init(self, config_dir):
        plugin = os.path.join(self.folder, PLUGIN_LIBRARY)
        self._check(self._lib.mw_init(plugin.encode(), config_dir.encode()))

    def shutdown(self):
        self._check(self._lib.mw_shutdown())

    # ---- the panel ----

    def _values(self, values):
        return (ctypes.c_double * len(self.settings))(*values)

    def panel_read(self):
        """The values the plug-in's page shows, and which of its controls are enabled."""
        n = len(self.settings)
        values = (ctypes.c_double * n)()
        enabled = (ctypes.c_uint8 * n)()
        self._check(self._lib.mw_panel_read(values, n, enabled))
        return list(values), [bool(e) for e in enabled]

    def panel_write(self, values):
        """Sets the page's controls to the values (the page then saves the settings file); returns
        which controls the page shows enabled."""
        n = len(self.settings)
        enabled = (ctypes.c_uint8 * n)()
        self._check(self._lib.mw_panel_write(self._values(values), n, enabled))
        return [bool(e) for e in enabled]

    def about(self):
        needed = ctypes.c_int32(0)
        self._check(self._lib.mw_about(None, 0, ctypes.byref(needed)))
        buffer = ctypes.create_string_buffer(max(needed.value, 1))
        self._check(self._lib.mw_about(buffer, len(buffer), None))
        return buffer.value.decode("utf-8", "replace").split("\n")

    # ---- the bake ----

    def bake_start(self, values, scene, threads=0):
        """Starts the bake; `threads` worker threads (0: the plug-in's own choice)."""
        self._check(self._lib.mw_bake_start(self._values(values), len(self.settings), ctypes.byref(scene), threads))

    def bake_poll(self):
        status = BakeStatus()
        self._check(self._lib.mw_bake_poll(ctypes.byref(status)))
        return status

    def bake_next_message(self):
        """(text, style) of the oldest message box not yet taken, or None."""
        buffer = ctypes.create_string_buffer(4096)
        style = ctypes.c_uint32(0)
        if self._check(self._lib.mw_bake_next_message(buffer, len(buffer), ctypes.byref(style)),
                       (OK, NO_RESULT)) == NO_RESULT:
            return None
        return buffer.value.decode("utf-8", "replace"), style.value

    def bake_question(self):
        buffer = ctypes.create_string_buffer(1024)
        if self._check(self._lib.mw_bake_question(buffer, len(buffer)), (OK, NO_RESULT)) == NO_RESULT:
            return None
        return buffer.value.decode("utf-8", "replace")

    def bake_answer(self, yes):
        """Answers the pending question; False when none was pending."""
        return self._check(self._lib.mw_bake_answer(1 if yes else 0), (OK, NO_RESULT)) == OK

    def bake_cancel(self):
        self._check(self._lib.mw_bake_cancel())

    def bake_image_size(self):
        """(width, height) of the bitmap the run wrote, or None."""
        w, h = ctypes.c_int32(0), ctypes.c_int32(0)
        if self._check(self._lib.mw_bake_image_size(ctypes.byref(w), ctypes.byref(h)), (OK, NO_RESULT)) == NO_RESULT:
            return None
        return w.value, h.value

    def bake_image_rgba(self, pixels):
        """Fills an array('f') of width x height x 4 with the bitmap, bottom row first."""
        self._check(self._lib.mw_bake_image_rgba(pointer_to(pixels, ctypes.c_float), len(pixels)))

    def bake_image_grey16(self, levels):
        """Fills an array('H') of width x height with the grey levels, top row first."""
        self._check(self._lib.mw_bake_image_grey16(pointer_to(levels, ctypes.c_uint16), len(levels)))

    def bake_colours(self, loop_colours, vertex_colours):
        """Fills array('f')s of 4 per loop and 4 per vertex with the colours the run wrote; returns
        whether every vertex has one colour, or None when the run wrote none."""
        one = ctypes.c_int32(0)
        status = self._check(self._lib.mw_bake_colours(
            pointer_to(loop_colours, ctypes.c_float), len(loop_colours) // 4,
            pointer_to(vertex_colours, ctypes.c_float), len(vertex_colours) // 4, ctypes.byref(one)), (OK, NO_RESULT))
        return None if status == NO_RESULT else bool(one.value)

    def bake_timings(self):
        build, panel = ctypes.c_double(0), ctypes.c_double(0)
        self._check(self._lib.mw_bake_timings(ctypes.byref(build), ctypes.byref(panel)))
        return build.value, panel.value

    def bake_finish(self):
        self._check(self._lib.mw_bake_finish())


_library = None
_load_error = None


def load():
    """The host library beside this file, loaded on first use; None when it cannot be loaded
    (load_error() says why)."""
    global _library, _load_error
    if _library is None and _load_error is None:
        try:
            _library = HostLibrary(os.path.dirname(os.path.abspath(__file__)))
        except MurkwellError as e:
            _load_error = str(e)
    return _library


def load_error():
    """Why the library cannot be used: it did not load, or the plug-in library it loads failed."""
    return _load_error


def set_error(message):
    global _load_error
    _load_error = message
