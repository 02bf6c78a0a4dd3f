/* The Blender host library, libmurkwell-blender.so: the host application's part for the plug-in
   inside Blender, behind a small C interface that Blender's Python reaches through ctypes.

   The library loads murkwell-plugin.so and drives its utility the way a person at the panel
   would: it opens the utility (the page loads the settings file), sets the controls, presses
   "Generate" or "About..." and closes the utility again (the page saves the settings file). The
   scene it offers the plug-in is built from arrays that Python hands over. A bake runs on a thread
   of this library; everything the plug-in shows while it runs (progress, message boxes, the
   question after a cancel) is kept here for Python to poll, and the cancel button is a flag
   Python sets. Nothing here calls Blender.

   Every function returns MW_OK or an error code and never lets an exception out; after an error,
   mw_last_error() gives the message (per calling thread). Strings are UTF-8; text buffers are
   always terminated and are truncated to fit. */
#ifndef MURKWELL_BLENDER_H
#define MURKWELL_BLENDER_H

#include <stdint.h>

#if defined(__GNUC__)
#define MW_API __attribute__((visibility("default")))
#else
#define MW_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever a signature or a structure below changes; the add-on refuses another. */
#define MW_API_VERSION 1

enum mw_status {
    MW_OK = 0,
    MW_ERROR = 1,            /* the operation failed; mw_last_error() says why */
    MW_INVALID_ARGUMENT = 2, /* a null pointer, a wrong count, an index out of range */
    MW_NOT_INITIALISED = 3,  /* mw_init has not succeeded yet */
    MW_BUSY = 4,             /* a bake is running (or not yet collected with mw_bake_finish) */
    MW_NO_RESULT = 5         /* the bake wrote no such result */
};

MW_API int32_t mw_api_version(void);
/* The message of the last failed call on this thread ("" after a success). */
MW_API const char* mw_last_error(void);

/* Loads murkwell-plugin.so from plugin_path and checks it (the four library functions, the host
   version, the utility class), and sets the plug-in configuration folder, where the settings
   file "Murkwell.ini" lives (created when missing). A library that is loaded stays loaded; a
   second call with the same path only changes the folder. */
MW_API int32_t mw_init(const char* plugin_path, const char* config_dir);
/* Cancels a running bake, answers its question with No and waits for it to end. */
MW_API int32_t mw_shutdown(void);

/* ---- The settings: key, kind, default and the panel's range, in the settings table's order.
   Every values array below has mw_setting_count() entries in this order. ---- */
enum mw_setting_type { MW_SETTING_INT = 0, MW_SETTING_FLOAT = 1, MW_SETTING_FLAG = 2, MW_SETTING_ALGORITHM = 3 };
typedef struct mw_setting_info {
    const char* key; /* the settings file's key, e.g. "XSiz" */
    int32_t type;    /* mw_setting_type */
    double default_value;
    double min;
    double max;
    double step; /* the change per unit of a spinner's drag: 1 for integers */
} mw_setting_info;

MW_API int32_t mw_setting_count(void);
MW_API int32_t mw_setting_at(int32_t index, mw_setting_info* info);

/* ---- The plug-in's panel. Each call opens the utility and closes it again, so each leaves the
   settings file as the page then shows it. `enabled` (count bytes, may be null) receives whether
   each setting's control is enabled on the page. ---- */

/* The values the page shows once it has loaded the settings file. */
MW_API int32_t mw_panel_read(double* values, int32_t count, uint8_t* enabled);
/* Sets every control to `values` (each within the setting's range, else MW_INVALID_ARGUMENT
   and nothing is changed), as a person would (a control that the shown algorithm disables
   is reached by choosing an algorithm that enables it; the algorithm is chosen last). */
MW_API int32_t mw_panel_write(const double* values, int32_t count, uint8_t* enabled);
/* The About box's texts, one per line: its caption first. *needed (may be null) receives the
   buffer size the whole text needs. */
MW_API int32_t mw_about(char* text, int32_t size, int32_t* needed);

/* ---- The scene a bake offers the plug-in ---- */

enum mw_object_kind {
    MW_OBJECT_MESH = 0,        /* a mesh object: the arrays are its own mesh */
    MW_OBJECT_CONVERTIBLE = 1, /* another kind of geometry (curve, text, ...) given as a mesh
                                  converted from it: a run can bake the converted copy, but
                                  colours written into it would be lost */
    MW_OBJECT_OTHER = 2        /* no geometry (empty, camera, light, ...); the mesh is ignored */
};
enum mw_colour_domain { MW_COLOURS_NONE = 0, MW_COLOURS_POINT = 1, MW_COLOURS_CORNER = 2 };

/* One mesh in Blender's terms: vertices, corners (loops) and polygons, and the polygons'
   triangles. Arrays marked "may be null" default as stated. */
typedef struct mw_mesh {
    int32_t vertex_count;
    const float* positions; /* 3 per vertex, object space */

    int32_t loop_count;
    int32_t polygon_count;
    int32_t triangle_count;
    const int32_t* triangle_vertices; /* 3 per triangle */
    const int32_t* triangle_loops;    /* 3 per triangle: the loop of each corner */
    const int32_t* triangle_polygons; /* 1 per triangle: the polygon it belongs to */

    const int32_t* polygon_materials; /* 1 per polygon, 0-based slot index; may be null (all 0) */
    const uint8_t* polygon_selected;  /* 1 per polygon; may be null (none selected) */

    /* Smoothing: polygons shade smooth where polygon_smooth is set (may be null: all flat); two
       smooth polygons blend across their shared edge unless it is listed in sharp_edges (pairs
       of vertex indices) or, when smooth_angle_degrees >= 0, the angle between their normals
       exceeds it. */
    const uint8_t* polygon_smooth;
    int32_t sharp_edge_count;
    const int32_t* sharp_edges;
    double smooth_angle_degrees;

    /* Texture coordinates of the map channel `map_channel` (1 ... 99), 2 per loop (u, v); may be
       null: the mesh has none. */
    int32_t map_channel;
    const float* loop_uvs;

    /* Existing colours, r, g, b, a per vertex (point domain) or per loop (corner domain). */
    int32_t colour_domain;
    const float* colours;
} mw_mesh;

typedef struct mw_scene {
    int32_t selected_count; /* selected objects; a run needs exactly one */
    const char* name;       /* the selected object's name (when there is one) */
    int32_t object_kind;    /* mw_object_kind */
    const mw_mesh* mesh;    /* may be null for MW_OBJECT_OTHER or when selected_count != 1 */
} mw_scene;

/* ---- A bake: "Generate" pressed on a thread of this library ---- */

/* Copies the scene (the caller's arrays may go once this returns), then on the bake thread opens
   the utility, sets the controls to `values`, presses "Generate" and closes the utility. `threads`
   is the number of worker threads the run uses, 0 for the plug-in's own choice; the result is the
   same for every number. */
MW_API int32_t mw_bake_start(const double* values, int32_t count, const mw_scene* scene, int32_t threads);

enum mw_bake_state { MW_BAKE_IDLE = 0, MW_BAKE_RUNNING = 1, MW_BAKE_DONE = 2 };
typedef struct mw_bake_status {
    int32_t state;            /* mw_bake_state */
    int32_t progress_shown;   /* the plug-in's progress display is up */
    int32_t progress_percent;
    int32_t messages;         /* message boxes waiting for mw_bake_next_message */
    int32_t question_pending; /* a Yes/No question waits for mw_bake_answer */
    int32_t cancel_seen;      /* the run has seen the cancel button pressed */
    char progress_title[96];
} mw_bake_status;

MW_API int32_t mw_bake_poll(mw_bake_status* status);
/* The oldest message box not yet taken, with its Win32 style bits (MB_ICONINFORMATION 0x40 for
   a failed check, 0 for a report). MW_NO_RESULT when none waits. */
MW_API int32_t mw_bake_next_message(char* text, int32_t size, uint32_t* style);
/* The text of the pending question; MW_NO_RESULT when none is pending. */
MW_API int32_t mw_bake_question(char* text, int32_t size);
MW_API int32_t mw_bake_answer(int32_t yes);
/* The cancel button: the run stops at its next poll. */
MW_API int32_t mw_bake_cancel(void);

/* The bitmap the run wrote, once the bake is done (MW_NO_RESULT when it wrote none). */
MW_API int32_t mw_bake_image_size(int32_t* width, int32_t* height);
/* Its grey levels, width x height, row 0 first (the map's top row, v = 1). */
MW_API int32_t mw_bake_image_grey16(uint16_t* levels, int64_t count);
/* Its pixels as Blender stores them: r, g, b, a floats (each 16-bit channel / 65535), the
   bottom row first. count = width x height x 4. */
MW_API int32_t mw_bake_image_rgba(float* pixels, int64_t count);

/* The vertex colours the run wrote (MW_NO_RESULT when a run wrote none or was cancelled):
   r, g, b, a per loop (loop_count x 4, may be null) and per vertex (vertex_count x 4, may be
   null). *one_per_vertex receives whether every vertex has a single colour; the per-vertex
   array is meaningful only then. */
MW_API int32_t mw_bake_colours(float* loop_colours, int64_t loop_count, float* vertex_colours, int64_t vertex_count,
                               int32_t* one_per_vertex);

/* Seconds the bake thread spent building the plug-in's mesh from the arrays, and in the panel
   (from opening the utility to closing it, the run included). */
MW_API int32_t mw_bake_timings(double* build_seconds, double* panel_seconds);

/* Ends a finished bake and drops its results. MW_BUSY while it still runs. */
MW_API int32_t mw_bake_finish(void);

#ifdef __cplusplus
}
#endif

#endif
