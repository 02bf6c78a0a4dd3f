"""The operators: Generate (modal: the bake runs on the host library's thread while a timer polls
it, the progress shows in Blender's progress indicator and status bar, Esc cancels; without a
window it runs to the end at once), About, and the answer to the plug-in's question."""

import time

import bpy

from . import job as bake_job
from . import library, settings

# What the last operators reported, newest last (scripts and tests read it; Blender shows the
# same reports in its status bar and Info editor).
reports_log = []
_REPORTS_KEPT = 200

# The running bake, for the answer buttons of the question popup.
_active_job = None

POLL_SECONDS = 0.1
LOOP_SECONDS = 0.02


def _log(kind, text):
    reports_log.append((kind, text))
    del reports_log[:-_REPORTS_KEPT]


def _relay(operator, job):
    for kind, text in job.take_reports():
        _log(kind, text)
        operator.report({kind}, text)


def _status_text(context, text):
    workspace = getattr(context, "workspace", None)
    if workspace is not None and hasattr(workspace, "status_text_set"):
        workspace.status_text_set(text)


class MURKWELL_OT_generate(bpy.types.Operator):
    """Compute grit over the selected object with the settings of the Murkwell panel"""
    bl_idname = "murkwell.generate"
    bl_label = "Generate"
    bl_options = {'REGISTER', 'UNDO'}

    save_partial: bpy.props.EnumProperty(
        name="Save Partial Bitmap",
        description="The answer to \"Save Partial Bitmap?\" after a cancelled UV Map bake",
        items=[('ASK', "Ask", "Ask in a popup (without a window: keep the partial map)"),
               ('YES', "Yes", "Keep the partial map"),
               ('NO', "No", "Discard the partial map")],
        default='ASK', options={'SKIP_SAVE'})
    cancel_after_polls: bpy.props.IntProperty(
        name="Cancel After Polls", description="Press cancel after this many polls (scripts and tests); -1: never",
        default=-1, min=-1, options={'HIDDEN', 'SKIP_SAVE'})

    _job = None
    _timer = None
    _progress_up = False
    _asked = False

    # ---- shared by both ways of running ----

    def _begin(self, context):
        global _active_job
        self._job = bake_job.BakeJob()
        image_path = getattr(context.scene, "murkwell_image_path", "")
        started = self._job.start(context, image_path)
        _active_job = self._job if started else None
        return started

    def _answer_by_property(self):
        if self.save_partial != 'ASK':
            self._job.answer(self.save_partial == 'YES')
            return True
        return False

    def _finish(self, context):
        global _active_job
        _active_job = None
        _relay(self, self._job)
        if self._progress_up:
            context.window_manager.progress_end()
            self._progress_up = False
        _status_text(context, None)
        return {'CANCELLED'} if self._job.failed else {'FINISHED'}

    def _show_progress(self, context):
        job = self._job
        wm = context.window_manager
        if job.progress_percent is not None:
            if not self._progress_up:
                wm.progress_begin(0, 100)
                self._progress_up = True
            wm.progress_update(job.progress_percent)
            _status_text(context, "%s: %d%%  (Esc to cancel)" % (job.progress_title or "Murkwell", job.progress_percent))
        elif self._progress_up:
            wm.progress_end()
            self._progress_up = False

    # ---- without a window: run to the end ----

    def execute(self, context):
        if not self._begin(context):
            return self._finish(context)
        while True:
            state = self._job.step(context)
            _relay(self, self._job)
            self._show_progress(context)
            if state == bake_job.DONE:
                return self._finish(context)
            if 0 <= self.cancel_after_polls <= self._job.polls:
                self._job.cancel()
            if state == bake_job.QUESTION and not self._answer_by_property():
                # Nobody can be asked here: keep what was computed.
                _log(bake_job.INFO, "%s yes (no one to ask)" % self._job.question)
                self.report({'INFO'}, "%s yes (no one to ask)" % self._job.question)
                self._job.answer(True)
            time.sleep(LOOP_SECONDS)

    # ---- with a window: modal, polled from a timer ----

    def invoke(self, context, event):
        if context.window is None:
            return self.execute(context)
        if not self._begin(context):
            return self._finish(context)
        wm = context.window_manager
        self._timer = wm.event_timer_add(POLL_SECONDS, window=context.window)
        wm.modal_handler_add(self)
        _status_text(context, "Murkwell: starting  (Esc to cancel)")
        return {'RUNNING_MODAL'}

    def modal(self, context, event):
        job = self._job
        if event.type == 'ESC' and event.value == 'PRESS':
            if job.state == bake_job.QUESTION:
                job.answer(False)
            else:
                job.cancel()
                _status_text(context, "Murkwell: cancelling ...")
            return {'RUNNING_MODAL'}
        if job.state == bake_job.QUESTION and event.value == 'PRESS' and event.type in {'Y', 'N', 'RET'}:
            job.answer(event.type != 'N')
            return {'RUNNING_MODAL'}
        if event.type != 'TIMER':
            return {'PASS_THROUGH'}

        state = job.step(context)
        _relay(self, job)
        self._show_progress(context)
        if 0 <= self.cancel_after_polls <= job.polls:
            job.cancel()
        if state == bake_job.QUESTION and not self._answer_by_property() and not self._asked:
            self._asked = True
            _status_text(context, "%s  Y: yes, N / Esc: no" % job.question)
            _ask(context, job.question)
        if state == bake_job.DONE:
            context.window_manager.event_timer_remove(self._timer)
            self._timer = None
            for area in context.screen.areas if context.screen else []:
                area.tag_redraw()
            return self._finish(context)
        return {'RUNNING_MODAL'}

    def cancel(self, context):
        # Blender ends the operator (a file is loaded, the window closes): the bake goes too.
        if self._job is not None:
            self._job.abort()
        if self._timer is not None:
            context.window_manager.event_timer_remove(self._timer)
            self._timer = None
        if self._progress_up:
            context.window_manager.progress_end()
            self._progress_up = False


def _ask(context, question):
    def draw(menu, _context):
        layout = menu.layout
        layout.label(text=question)
        row = layout.row()
        row.operator(MURKWELL_OT_answer.bl_idname, text="Yes").yes = True
        row.operator(MURKWELL_OT_answer.bl_idname, text="No").yes = False
    context.window_manager.popup_menu(draw, title="Murkwell", icon='QUESTION')


class MURKWELL_OT_answer(bpy.types.Operator):
    """Answer the plug-in's question"""
    bl_idname = "murkwell.answer"
    bl_label = "Answer"
    bl_options = {'INTERNAL'}

    yes: bpy.props.BoolProperty(default=True)

    def execute(self, context):
        if _active_job is not None:
            _active_job.answer(self.yes)
        return {'FINISHED'}


class MURKWELL_OT_about(bpy.types.Operator):
    """Show the plug-in's About box"""
    bl_idname = "murkwell.about"
    bl_label = "About Murkwell"

    def _texts(self):
        lib = library.load()
        if lib is None:
            raise library.MurkwellError(library.ERROR, library.load_error())
        return lib.about()

    def execute(self, context):
        try:
            texts = self._texts()
        except library.MurkwellError as e:
            _log('ERROR', str(e))
            self.report({'ERROR'}, str(e))
            return {'CANCELLED'}
        for text in texts:
            for line in text.split("\n"):
                _log('INFO', line)
                self.report({'INFO'}, line)
        return {'FINISHED'}

    def invoke(self, context, event):
        try:
            self._lines = [line for text in self._texts() for line in text.split("\n")]
        except library.MurkwellError as e:
            self.report({'ERROR'}, str(e))
            return {'CANCELLED'}
        return context.window_manager.invoke_popup(self, width=320)

    def draw(self, context):
        layout = self.layout
        lines = getattr(self, "_lines", [])
        if lines:
            layout.label(text=lines[0], icon='INFO')
        for line in lines[1:]:
            layout.label(text=line)


class MURKWELL_OT_reload_settings(bpy.types.Operator):
    """Read the settings file again through the plug-in's panel"""
    bl_idname = "murkwell.reload_settings"
    bl_label = "Reload Settings"

    def execute(self, context):
        error = settings.load(context.object)
        if error:
            self.report({'ERROR'}, error)
            return {'CANCELLED'}
        return {'FINISHED'}


classes = (MURKWELL_OT_generate, MURKWELL_OT_answer, MURKWELL_OT_about, MURKWELL_OT_reload_settings)
