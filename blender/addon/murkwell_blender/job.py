"""One press of "Generate": the scene is handed over, the bake runs on the host library's thread,
and each step polls it, relays its progress, message boxes and question, and at the end brings
its results into the scene. The modal operator steps it from a timer; a run without a window
(background Blender, scripts) steps it in a loop. Nothing here lets an exception through: every
failure becomes a report."""

import time

import bpy

from . import handoff, library, results, settings

# Plain message boxes of the plug-in are reports; those with the information icon are its failed
# checks.
INFO, WARNING, ERROR = 'INFO', 'WARNING', 'ERROR'

RUNNING, QUESTION, DONE = "RUNNING", "QUESTION", "DONE"


def render_threads(context):
    """The worker threads Blender's render settings fix (Performance > Threads: Fixed), else 0 for
    one per hardware thread. The grit is the same for every number."""
    render = getattr(getattr(context, "scene", None), "render", None)
    if render is not None and getattr(render, "threads_mode", 'AUTO') == 'FIXED':
        return max(0, int(render.threads))
    return 0


class BakeJob:
    def __init__(self):
        self.reports = []       # (type, text), in order, not yet shown
        self.failed = False     # a report of type ERROR was made
        self.state = None
        self.cancel_pressed = False
        self.polls = 0
        self.progress_percent = None
        self.progress_title = ""
        self.question = None
        self.timings = {}
        self.image = None
        self.attribute = None
        self._lib = None
        self._handoff = None
        self._object_name = ""
        self._vertex_mode = False
        self._image_path = ""

    def report(self, kind, text):
        self.reports.append((kind, text))
        if kind == ERROR:
            self.failed = True

    def take_reports(self):
        out, self.reports = self.reports, []
        return out

    # ---- start ----

    def start(self, context, image_path=""):
        """Hands the scene over and starts the bake; False (with a report) when it cannot start."""
        try:
            return self._start(context, image_path)
        except library.MurkwellError as e:
            self.report(ERROR, str(e))
        except Exception as e:  # noqa: BLE001 - nothing may escape into Blender's event loop
            self.report(ERROR, "Murkwell could not start: %s" % e)
        self.state = DONE
        self._restore()
        return False

    def _start(self, context, image_path):
        self._lib = library.load()
        if self._lib is None or library.load_error():
            self.report(ERROR, "Murkwell is not available: %s" % library.load_error())
            return False
        props = context.window_manager.murkwell
        settings.cancel_scheduled_save()
        self._vertex_mode = props.mode == 'VERTEX_COLORS'
        self._image_path = image_path

        began = time.perf_counter()
        hand = handoff.HandOff(context, self._vertex_mode, props.uv_map)
        self._handoff = hand
        self._object_name = hand.object.name if hand.object is not None else ""
        values = settings.values_of(props)
        arrays = hand.arrays
        if arrays is not None and props.mode == 'UV_MAP':
            self._warn_about_uvs(props, arrays)
            # The channel is the UV map's place among the mesh's UV maps.
            channel_index = [e["key"] for e in settings.table()].index("mapChannel")
            values[channel_index] = float(arrays.uv_index + 1 if arrays.uv_index >= 0 else props.map_channel)
        if arrays is not None and self._vertex_mode and props.colour_mode == 'ACCUMULATE' and \
                arrays.colour_domain == library.COLOURS_NONE:
            self.report(WARNING, "%s has no colour attribute to accumulate onto; the colours start from black"
                        % self._object_name)
        self._lib.bake_start(values, hand.record, render_threads(context))
        self.timings["handoff"] = time.perf_counter() - began
        self.state = RUNNING
        return True

    def _warn_about_uvs(self, props, arrays):
        if arrays.loop_uvs is None:
            self.report(WARNING, "%s has no UV map: the grit map stays black" % self._object_name)
        elif props.uv_map and props.uv_map != arrays.uv_name:
            self.report(WARNING, "%s has no UV map \"%s\"; baking into its active UV map \"%s\""
                        % (self._object_name, props.uv_map, arrays.uv_name))

    # ---- while it runs ----

    def cancel(self):
        """The cancel button; the run stops at its next poll."""
        if self.state == RUNNING and not self.cancel_pressed:
            self.cancel_pressed = True
            self._lib.bake_cancel()

    def answer(self, yes):
        if self.state == QUESTION and self._lib.bake_answer(yes):
            self.question = None
            self.state = RUNNING

    def step(self, context):
        """Polls the bake once: relays its messages and progress; at the end collects its results.
        Returns RUNNING, QUESTION (the plug-in waits for answer()) or DONE."""
        if self.state in (None, DONE):
            return DONE
        try:
            return self._step(context)
        except Exception as e:  # noqa: BLE001
            self.report(ERROR, "Murkwell: %s" % e)
            self.abort()
            return DONE

    def _step(self, context):
        self.polls += 1
        status = self._lib.bake_poll()
        self._relay_messages()
        self.progress_percent = status.progress_percent if status.progress_shown else None
        self.progress_title = status.progress_title.decode("utf-8", "replace")
        if status.question_pending:
            if self.question is None:
                self.question = self._lib.bake_question()
            self.state = QUESTION
            return QUESTION
        if status.state != library.BAKE_DONE:
            self.state = RUNNING
            return RUNNING
        self._relay_messages()
        self._collect(context, bool(status.cancel_seen))
        return DONE

    def _relay_messages(self):
        while True:
            message = self._lib.bake_next_message()
            if message is None:
                return
            text, style = message
            self.report(ERROR if style & library.MB_ICONINFORMATION else INFO, text)

    def _collect(self, context, cancelled):
        try:
            build, panel = self._lib.bake_timings()
            self.timings["build"], self.timings["panel"] = build, panel
            began = time.perf_counter()
            if self._vertex_mode:
                self._collect_colours(cancelled)
            else:
                self._collect_image(cancelled)
            self.timings["results"] = time.perf_counter() - began
        finally:
            self._lib.bake_finish()
            self.state = DONE
            self._restore()
            settings.save_if_pending()

    def _collect_image(self, cancelled):
        image = results.store_image(self._lib, self._object_name)
        if image is None:
            if cancelled:
                self.report(INFO, "Cancelled; the partial map was not kept")
            return
        self.image = image
        w, h = image.size
        note = " (partial map)" if cancelled else ""
        self.report(INFO, "Grit map in image \"%s\" (%d x %d)%s" % (image.name, w, h, note))
        if self._image_path:
            try:
                written = results.save_png(image, self._image_path)
                self.report(INFO, "Saved %s" % written)
            except (OSError, RuntimeError) as e:
                self.report(ERROR, "The grit map could not be saved to %s: %s" % (self._image_path, e))

    def _collect_colours(self, cancelled):
        hand = self._handoff
        mesh = hand.target_mesh if hand is not None else None
        if mesh is None:
            return
        if cancelled:
            self.report(INFO, "Cancelled; the colours were not changed")
            return
        self.attribute = results.store_colours(self._lib, mesh, hand.arrays.loop_count, hand.arrays.vertex_count)
        if self.attribute is not None:
            self.report(INFO, "Grit colours in attribute \"%s\" (%s domain)"
                        % (self.attribute.name, self.attribute.domain.lower()))

    def _restore(self):
        hand, self._handoff = self._handoff, None
        if hand is not None:
            try:
                hand.restore_edit_mode()
            except RuntimeError as e:
                self.report(WARNING, "Could not return to edit mode: %s" % e)

    def abort(self):
        """Ends a bake that nobody will poll any more: cancels it, answers its question with No and
        waits for it (the plug-in stops within half a second)."""
        if self._lib is not None and self.state in (RUNNING, QUESTION):
            try:
                self._lib.shutdown()
            except library.MurkwellError:
                pass
        self.state = DONE
        self._restore()
