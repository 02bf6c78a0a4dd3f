// The C interface: each entry checks its arguments, calls the session, and turns whatever goes
// wrong into a status code with a message; nothing is ever thrown back into Python.
#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "blender/BlenderSession.h"
#include "blender/murkwell_blender.h"

namespace {

thread_local std::string t_lastError;

int32_t Fail(int32_t status, std::string message) {
    t_lastError = std::move(message);
    return status;
}

// Runs `body`, which returns a status; exceptions become status codes and messages.
template <class Body>
int32_t Guarded(Body body) {
    try {
        t_lastError.clear();
        return body();
    } catch (const SessionError& e) {
        return Fail(e.status, e.message);
    } catch (const std::bad_alloc&) {
        return Fail(MW_ERROR, "out of memory");
    } catch (const std::exception& e) {
        return Fail(MW_ERROR, e.what());
    } catch (...) {
        return Fail(MW_ERROR, "unknown failure");
    }
}

void CopyText(const std::string& text, char* buffer, int32_t size) {
    if (!buffer || size <= 0) return;
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

bool ReadValues(const double* values, int32_t count, SettingValues& out) {
    if (!values || count != kSettingCount) return false;
    std::copy(values, values + kSettingCount, out.begin());
    return true;
}

void WriteEnabled(const SettingEnabled& enabled, uint8_t* out) {
    if (!out) return;
    for (size_t i = 0; i < enabled.size(); ++i) out[i] = enabled[i] ? 1 : 0;
}

constexpr const char* kCountMessage = "the settings need an array of their count (mw_setting_count)";

}  // namespace

extern "C" {

MW_API int32_t mw_api_version(void) { return MW_API_VERSION; }

MW_API const char* mw_last_error(void) { return t_lastError.c_str(); }

MW_API int32_t mw_init(const char* plugin_path, const char* config_dir) {
    return Guarded([&] {
        if (!plugin_path || !config_dir) return Fail(MW_INVALID_ARGUMENT, "mw_init needs a library path and a folder");
        BlenderSession::Instance().Init(plugin_path, config_dir);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_shutdown(void) {
    return Guarded([&] {
        BlenderSession::Instance().Shutdown();
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_setting_count(void) { return kSettingCount; }

MW_API int32_t mw_setting_at(int32_t index, mw_setting_info* info) {
    return Guarded([&] {
        if (!info || index < 0 || index >= kSettingCount)
            return Fail(MW_INVALID_ARGUMENT, "no setting " + std::to_string(index));
        const SettingEntry& e = SettingEntries()[static_cast<size_t>(index)];
        info->key = e.key;
        switch (e.type) {
            case SettingType::Int: info->type = MW_SETTING_INT; break;
            case SettingType::Float: info->type = MW_SETTING_FLOAT; break;
            case SettingType::Flag: info->type = MW_SETTING_FLAG; break;
            case SettingType::Algorithm: info->type = MW_SETTING_ALGORITHM; break;
        }
        info->default_value = e.defaultValue;
        info->min = e.min;
        info->max = e.max;
        info->step = e.type == SettingType::Float ? double(setting::kFloatDragScale) : 1.0;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_panel_read(double* values, int32_t count, uint8_t* enabled) {
    return Guarded([&] {
        if (!values || count != kSettingCount) return Fail(MW_INVALID_ARGUMENT, kCountMessage);
        SettingEnabled shown{};
        const SettingValues read = BlenderSession::Instance().ReadPanel(&shown);
        std::copy(read.begin(), read.end(), values);
        WriteEnabled(shown, enabled);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_panel_write(const double* values, int32_t count, uint8_t* enabled) {
    return Guarded([&] {
        SettingValues v{};
        if (!ReadValues(values, count, v)) return Fail(MW_INVALID_ARGUMENT, kCountMessage);
        SettingEnabled shown{};
        BlenderSession::Instance().WritePanel(v, &shown);
        WriteEnabled(shown, enabled);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_about(char* text, int32_t size, int32_t* needed) {
    return Guarded([&] {
        std::string joined;
        for (const std::string& t : BlenderSession::Instance().About()) joined += (joined.empty() ? "" : "\n") + t;
        if (needed) *needed = static_cast<int32_t>(joined.size() + 1);
        CopyText(joined, text, size);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_start(const double* values, int32_t count, const mw_scene* scene, int32_t threads) {
    return Guarded([&] {
        SettingValues v{};
        if (!ReadValues(values, count, v)) return Fail(MW_INVALID_ARGUMENT, kCountMessage);
        if (!scene) return Fail(MW_INVALID_ARGUMENT, "no scene");
        if (threads < 0) return Fail(MW_INVALID_ARGUMENT, "a negative thread count");
        BakeScene copy;
        copy.selectedCount = scene->selected_count < 0 ? 0 : scene->selected_count;
        copy.name = scene->name ? scene->name : "";
        copy.kind = scene->object_kind;
        if (copy.kind != MW_OBJECT_MESH && copy.kind != MW_OBJECT_CONVERTIBLE && copy.kind != MW_OBJECT_OTHER)
            return Fail(MW_INVALID_ARGUMENT, "unknown object kind " + std::to_string(copy.kind));
        if (copy.selectedCount == 1 && copy.kind != MW_OBJECT_OTHER) {
            if (!scene->mesh) return Fail(MW_INVALID_ARGUMENT, "the selected object has no mesh");
            std::string error;
            if (!CopyBlenderMesh(*scene->mesh, copy.mesh, error)) return Fail(MW_INVALID_ARGUMENT, error);
        }
        copy.threads = threads;
        BlenderSession::Instance().StartBake(v, std::move(copy));
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_poll(mw_bake_status* status) {
    return Guarded([&] {
        if (!status) return Fail(MW_INVALID_ARGUMENT, "no status record");
        BlenderSession& session = BlenderSession::Instance();
        HostState& host = session.Host();
        switch (session.State()) {
            case BakeState::Idle: status->state = MW_BAKE_IDLE; break;
            case BakeState::Running: status->state = MW_BAKE_RUNNING; break;
            case BakeState::Done: status->state = MW_BAKE_DONE; break;
        }
        const ProgressSnapshot progress = host.Progress();
        status->progress_shown = progress.shown ? 1 : 0;
        status->progress_percent = progress.percent;
        CopyText(progress.title, status->progress_title, static_cast<int32_t>(sizeof status->progress_title));
        status->messages = host.MessageCount();
        std::string question;
        status->question_pending = host.PendingQuestion(question) ? 1 : 0;
        status->cancel_seen = host.CancelSeen() ? 1 : 0;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_next_message(char* text, int32_t size, uint32_t* style) {
    return Guarded([&] {
        HostMessage message;
        if (!BlenderSession::Instance().Host().PopMessage(message)) return Fail(MW_NO_RESULT, "no message waits");
        CopyText(message.text, text, size);
        if (style) *style = message.style;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_question(char* text, int32_t size) {
    return Guarded([&] {
        std::string question;
        if (!BlenderSession::Instance().Host().PendingQuestion(question)) return Fail(MW_NO_RESULT, "no question is pending");
        CopyText(question, text, size);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_answer(int32_t yes) {
    return Guarded([&] {
        if (!BlenderSession::Instance().Host().Answer(yes != 0)) return Fail(MW_NO_RESULT, "no question is pending");
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_cancel(void) {
    return Guarded([&] {
        BlenderSession::Instance().Host().PressCancel();
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_image_size(int32_t* width, int32_t* height) {
    return Guarded([&] {
        if (!width || !height) return Fail(MW_INVALID_ARGUMENT, "no size to fill");
        const BitmapPixels& image = BlenderSession::Instance().Image();
        *width = image.width;
        *height = image.height;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_image_grey16(uint16_t* levels, int64_t count) {
    return Guarded([&] {
        const BitmapPixels& image = BlenderSession::Instance().Image();
        if (!levels || count != static_cast<int64_t>(image.pixels.size()))
            return Fail(MW_INVALID_ARGUMENT, "the grey levels need width x height entries");
        for (size_t i = 0; i < image.pixels.size(); ++i) levels[i] = image.pixels[i].r;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_image_rgba(float* pixels, int64_t count) {
    return Guarded([&] {
        const BitmapPixels& image = BlenderSession::Instance().Image();
        if (!pixels || count != static_cast<int64_t>(image.pixels.size()) * 4)
            return Fail(MW_INVALID_ARGUMENT, "the pixels need width x height x 4 entries");
        BlenderImagePixels(image, pixels);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_colours(float* loop_colours, int64_t loop_count, float* vertex_colours, int64_t vertex_count,
                               int32_t* one_per_vertex) {
    return Guarded([&] {
        const ColourResult& colours = BlenderSession::Instance().Colours();
        if (loop_colours && loop_count * 4 != static_cast<int64_t>(colours.perLoop.size()))
            return Fail(MW_INVALID_ARGUMENT, "the loop colours need one entry per loop of the mesh handed over");
        if (vertex_colours && vertex_count * 4 != static_cast<int64_t>(colours.perVertex.size()))
            return Fail(MW_INVALID_ARGUMENT, "the vertex colours need one entry per vertex of the mesh handed over");
        if (loop_colours) std::copy(colours.perLoop.begin(), colours.perLoop.end(), loop_colours);
        if (vertex_colours) std::copy(colours.perVertex.begin(), colours.perVertex.end(), vertex_colours);
        if (one_per_vertex) *one_per_vertex = colours.onePerVertex ? 1 : 0;
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_timings(double* build_seconds, double* panel_seconds) {
    return Guarded([&] {
        if (!build_seconds || !panel_seconds) return Fail(MW_INVALID_ARGUMENT, "no timings to fill");
        BlenderSession::Instance().Timings(*build_seconds, *panel_seconds);
        return int32_t{MW_OK};
    });
}

MW_API int32_t mw_bake_finish(void) {
    return Guarded([&] {
        BlenderSession::Instance().FinishBake();
        return int32_t{MW_OK};
    });
}

}  // extern "C"
