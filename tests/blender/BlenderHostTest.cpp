// The host library through its C interface, the way Blender's Python drives it: the plug-in's
// panel (values and enabled controls read and set, the settings file), the About box, and bakes
// polled to the end from another thread, with their messages, the question after a cancel, the
// bitmap and the vertex colours they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "blender/murkwell_blender.h"
#include "settings/SettingTable.h"
#include "tests/blender/PolyMesh.h"
#include "tests/common/TempDir.h"

namespace {

struct Message {
    std::string text;
    uint32_t style;
};

// What a bake left once polled to the end.
struct BakeOutcome {
    std::vector<Message> messages;
    std::vector<std::string> questions;
    bool cancelSeen = false;
    int width = 0, height = 0;
    std::vector<uint16_t> grey;   // top row first
    std::vector<float> rgba;      // bottom row first
    bool hasColours = false;
    bool onePerVertex = false;
    std::vector<float> loopColours, vertexColours;

    bool Said(const std::string& text) const {
        return std::any_of(messages.begin(), messages.end(), [&](const Message& m) { return m.text == text; });
    }
    uint16_t Level(int x, int y) const { return grey[static_cast<size_t>(y) * width + x]; }
};

enum class Answer { Yes, No };

// The settings table's index of a key.
size_t Index(const char* key) {
    const auto& entries = SettingEntries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (std::string(entries[i].key) == key) return i;
    ADD_FAILURE() << "no setting " << key;
    return 0;
}

class BlenderHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mw_init(MURKWELL_PLUGIN_MODULE, Config().c_str()), MW_OK) << mw_last_error();
    }
    void TearDown() override { mw_shutdown(); }

    std::string Config() const { return dir.File("config"); }
    std::string Ini() const { return ReadWholeFile(dir.Path() / "config" / "Murkwell.ini"); }

    // The defaults with a few changes.
    static std::vector<double> Values(std::initializer_list<std::pair<const char*, double>> changes) {
        std::vector<double> v;
        for (const SettingEntry& e : SettingEntries()) v.push_back(e.defaultValue);
        for (const auto& [key, value] : changes) v[Index(key)] = value;
        return v;
    }

    // Starts a bake of `mesh` (or of `selected` objects without one) and polls it to the end,
    // pressing cancel first when asked to, answering questions with `answer`.
    BakeOutcome Bake(const std::vector<double>& values, PolyMesh* mesh, int kind = MW_OBJECT_MESH, int selected = 1,
                     bool cancel = false, Answer answer = Answer::No, int threads = 0) {
        BakeOutcome out;
        mw_mesh record{};
        if (mesh) record = mesh->Record();
        mw_scene scene{selected, "Box", kind, mesh ? &record : nullptr};
        EXPECT_EQ(mw_bake_start(values.data(), static_cast<int32_t>(values.size()), &scene, threads), MW_OK)
            << mw_last_error();
        if (cancel) mw_bake_cancel();
        mw_bake_status status{};
        char text[512];
        uint32_t style = 0;
        for (;;) {
            EXPECT_EQ(mw_bake_poll(&status), MW_OK);
            while (mw_bake_next_message(text, sizeof text, &style) == MW_OK) out.messages.push_back({text, style});
            if (status.question_pending) {
                EXPECT_EQ(mw_bake_question(text, sizeof text), MW_OK);
                out.questions.push_back(text);
                EXPECT_EQ(mw_bake_answer(answer == Answer::Yes), MW_OK);
                continue;
            }
            if (status.state == MW_BAKE_DONE) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (mw_bake_next_message(text, sizeof text, &style) == MW_OK) out.messages.push_back({text, style});
        out.cancelSeen = status.cancel_seen != 0;
        if (mw_bake_image_size(&out.width, &out.height) == MW_OK) {
            out.grey.resize(static_cast<size_t>(out.width) * out.height);
            out.rgba.resize(out.grey.size() * 4);
            EXPECT_EQ(mw_bake_image_grey16(out.grey.data(), static_cast<int64_t>(out.grey.size())), MW_OK);
            EXPECT_EQ(mw_bake_image_rgba(out.rgba.data(), static_cast<int64_t>(out.rgba.size())), MW_OK);
        }
        if (mesh) {
            out.loopColours.resize(static_cast<size_t>(mesh->loopCount) * 4);
            out.vertexColours.resize(static_cast<size_t>(mesh->VertexCount()) * 4);
            int32_t one = 0;
            const int32_t got = mw_bake_colours(out.loopColours.data(), mesh->loopCount, out.vertexColours.data(),
                                                mesh->VertexCount(), &one);
            EXPECT_TRUE(got == MW_OK || got == MW_NO_RESULT) << mw_last_error();
            out.hasColours = got == MW_OK;
            out.onePerVertex = one != 0;
        }
        EXPECT_EQ(mw_bake_finish(), MW_OK) << mw_last_error();
        return out;
    }

    ScopedTempDir dir;
};

}  // namespace

TEST_F(BlenderHost, PanelShowsTheSettingsFileAndSavesWhatItWasSet) {
    std::vector<double> values(kSettingCount);
    std::vector<uint8_t> enabled(kSettingCount);
    // A fresh folder: the page shows the defaults, UV Map chosen, only accumulation disabled;
    // closing the page wrote the file.
    ASSERT_EQ(mw_panel_read(values.data(), kSettingCount, enabled.data()), MW_OK) << mw_last_error();
    EXPECT_EQ(values, Values({}));
    for (size_t i = 0; i < enabled.size(); ++i)
        EXPECT_EQ(enabled[i], i == Index("addVertexColors") ? 0 : 1) << SettingEntries()[i].key;
    EXPECT_NE(Ini().find("algorithm=1008"), std::string::npos);

    // Vertex Colors with accumulation, and values for controls the mode disables.
    const std::vector<double> set = Values({{"algorithm", ALGORITHM_VERTEX_COLORS}, {"addVertexColors", 1},
                                            {"XSiz", 640}, {"YSiz", 480}, {"dist", 12.5}, {"noiseOn", 1},
                                            {"mtlID", 3}, {"horizontalSpread", 24}});
    ASSERT_EQ(mw_panel_write(set.data(), kSettingCount, enabled.data()), MW_OK) << mw_last_error();
    EXPECT_EQ(enabled[Index("XSiz")], 0);
    EXPECT_EQ(enabled[Index("noiseOn")], 0);
    EXPECT_EQ(enabled[Index("addVertexColors")], 1);
    EXPECT_EQ(enabled[Index("dist")], 1);
    const std::string ini = Ini();
    for (const char* line : {"algorithm=1009", "XSiz=640", "YSiz=480", "dist=12.500000", "noiseOn=1", "mtlID=3",
                             "addVertexColors=1", "horizontalSpread=24"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;
    ASSERT_EQ(mw_panel_read(values.data(), kSettingCount, nullptr), MW_OK);
    EXPECT_EQ(values, set);

    // A value outside its range is refused before the page opens: the file stays as it was.
    const std::vector<double> bad = Values({{"YSiz", 10}});
    EXPECT_EQ(mw_panel_write(bad.data(), kSettingCount, nullptr), MW_INVALID_ARGUMENT);
    EXPECT_STREQ(mw_last_error(), "YSiz = 10.0 is outside 50 ... 4096");
    const std::vector<double> fraction = Values({{"mtlID", 2.5}});
    EXPECT_EQ(mw_panel_write(fraction.data(), kSettingCount, nullptr), MW_INVALID_ARGUMENT);
    EXPECT_EQ(Ini(), ini);
    EXPECT_EQ(mw_panel_write(set.data(), kSettingCount - 1, nullptr), MW_INVALID_ARGUMENT);
}

TEST_F(BlenderHost, SettingTableAndAboutBox) {
    ASSERT_EQ(mw_setting_count(), kSettingCount);
    mw_setting_info info{};
    ASSERT_EQ(mw_setting_at(static_cast<int32_t>(Index("dist")), &info), MW_OK);
    EXPECT_STREQ(info.key, "dist");
    EXPECT_EQ(info.type, MW_SETTING_FLOAT);
    EXPECT_EQ(info.min, 1.0);
    EXPECT_EQ(info.max, 100000.0);
    EXPECT_EQ(info.step, 1.0);
    ASSERT_EQ(mw_setting_at(static_cast<int32_t>(Index("algorithm")), &info), MW_OK);
    EXPECT_EQ(info.type, MW_SETTING_ALGORITHM);
    EXPECT_EQ(mw_setting_at(kSettingCount, &info), MW_INVALID_ARGUMENT);

    int32_t needed = 0;
    ASSERT_EQ(mw_about(nullptr, 0, &needed), MW_OK) << mw_last_error();
    std::string text(static_cast<size_t>(needed), '\0');
    ASSERT_EQ(mw_about(text.data(), needed, nullptr), MW_OK);
    text.resize(text.find('\0'));
    EXPECT_EQ(text.rfind("About Murkwell\nMurkwell V0.26b [BETA]\n", 0), 0u) << text;
    // A buffer too small gets the start of the text, terminated.
    char small[6];
    ASSERT_EQ(mw_about(small, sizeof small, nullptr), MW_OK);
    EXPECT_STREQ(small, "About");
}

TEST_F(BlenderHost, UvRunLeavesTheMapWithCrevicesBrighter) {
    PolyMesh box = OpenBox(10.0f);
    const BakeOutcome out =
        Bake(Values({{"XSiz", 64}, {"YSiz", 50}, {"dist", 20}, {"verticalSpread", 2}}), &box);
    ASSERT_EQ(out.width, 64);
    ASSERT_EQ(out.height, 50);
    EXPECT_TRUE(std::any_of(out.messages.begin(), out.messages.end(),
                            [](const Message& m) { return m.text.rfind("elapsed time = ", 0) == 0 && m.style == 0; }));
    EXPECT_TRUE(out.questions.empty());
    EXPECT_FALSE(out.hasColours);

    // The floor fills the left half (u < 0.5); its corner at u = 0, v = 1 (the top left texel) sits
    // in the crevice of two walls, its middle is open to the sky above.
    EXPECT_GT(out.Level(1, 1), out.Level(16, 25));
    EXPECT_GT(out.Level(16, 25), 0);
    // Every texel of the square is covered and near geometry: nothing stays black.
    EXPECT_EQ(std::count(out.grey.begin(), out.grey.end(), 0), 0);

    // Blender's pixels: the bottom row first, each channel the level / 65535, alpha opaque.
    for (int y : {0, 17, 49}) {
        for (int x : {0, 40, 63}) {
            const size_t at = (static_cast<size_t>(49 - y) * 64 + x) * 4;
            EXPECT_EQ(out.rgba[at], float(out.Level(x, y)) / 65535.0f);
            EXPECT_EQ(out.rgba[at + 2], out.rgba[at]);
            EXPECT_EQ(out.rgba[at + 3], 1.0f);
        }
    }
    // The bake went through the panel, which saved the settings it was given.
    EXPECT_NE(Ini().find("XSiz=64"), std::string::npos);

    // Without texture coordinates the run covers nothing: a black map, and no message about it.
    box.loopUvs.clear();
    const BakeOutcome black = Bake(Values({{"XSiz", 64}, {"YSiz", 64}}), &box);
    ASSERT_EQ(black.width, 64);
    EXPECT_EQ(std::count(black.grey.begin(), black.grey.end(), 0), 64 * 64);
}

TEST_F(BlenderHost, VertexRunWritesColoursPerVertexOrPerLoop) {
    PolyMesh box = OpenBox(10.0f);
    const BakeOutcome replaced = Bake(Values({{"algorithm", ALGORITHM_VERTEX_COLORS}, {"dist", 20}}), &box);
    ASSERT_TRUE(replaced.hasColours);
    EXPECT_TRUE(replaced.onePerVertex);
    EXPECT_TRUE(std::any_of(replaced.messages.begin(), replaced.messages.end(), [](const Message& m) {
        return m.text.rfind("Grit calculation complete\nelapsed time = ", 0) == 0 && m.style == 0;
    }));
    // 1 - grit: floor corners (in two crevices) darker than the rim.
    for (int v = 0; v < 8; ++v) {
        const float level = replaced.vertexColours[v * 4];
        EXPECT_GT(level, 0.0f);
        EXPECT_LE(level, 1.0f);
        EXPECT_EQ(replaced.vertexColours[v * 4 + 3], 1.0f);
    }
    EXPECT_LT(replaced.vertexColours[0], replaced.vertexColours[4 * 4]);
    // Each loop carries its vertex's colour.
    for (int l = 0; l < box.loopCount; ++l) {
        int vertex = -1;
        for (size_t c = 0; c < box.triangleLoops.size(); ++c)
            if (box.triangleLoops[c] == l) vertex = box.triangleVertices[c];
        ASSERT_GE(vertex, 0);
        EXPECT_EQ(replaced.loopColours[l * 4], replaced.vertexColours[vertex * 4]) << "loop " << l;
    }

    // Accumulating onto per-loop colours that differ at a vertex multiplies each loop's colour by
    // its vertex's level, and the colours stay per loop.
    box.colourDomain = MW_COLOURS_CORNER;
    for (int l = 0; l < 20; ++l) box.colours.insert(box.colours.end(), {0.5f + 0.025f * float(l), 1.0f, 0.25f, 1.0f});
    const BakeOutcome accumulated =
        Bake(Values({{"algorithm", ALGORITHM_VERTEX_COLORS}, {"dist", 20}, {"addVertexColors", 1}}), &box);
    ASSERT_TRUE(accumulated.hasColours);
    EXPECT_FALSE(accumulated.onePerVertex);
    for (size_t c = 0; c < box.triangleLoops.size(); ++c) {
        const int l = box.triangleLoops[c];
        const int v = box.triangleVertices[c];
        const float level = replaced.vertexColours[v * 4];
        EXPECT_EQ(accumulated.loopColours[l * 4], box.colours[l * 4] * level);
        EXPECT_EQ(accumulated.loopColours[l * 4 + 1], level);
        EXPECT_EQ(accumulated.loopColours[l * 4 + 2], 0.25f * level);
    }
}

TEST_F(BlenderHost, FailedChecksArriveAsThePluginsMessages) {
    PolyMesh box = OpenBox(10.0f);
    auto failure = [](const BakeOutcome& out, const std::string& text) {
        return std::any_of(out.messages.begin(), out.messages.end(), [&](const Message& m) {
            return m.text == text && (m.style & 0x40u) != 0;
        });
    };
    const std::vector<double> uv = Values({{"XSiz", 50}, {"YSiz", 50}});
    const std::vector<double> vertex = Values({{"algorithm", ALGORITHM_VERTEX_COLORS}});

    BakeOutcome out = Bake(uv, nullptr, MW_OBJECT_OTHER, 0);
    EXPECT_TRUE(failure(out, "Select exactly one node"));
    EXPECT_EQ(out.width, 0);
    out = Bake(vertex, &box, MW_OBJECT_MESH, 2);
    EXPECT_TRUE(failure(out, "Select exactly one node"));
    EXPECT_FALSE(out.hasColours);

    out = Bake(uv, nullptr, MW_OBJECT_OTHER, 1);
    EXPECT_TRUE(failure(out, "Could not get TriObject"));

    // Geometry that is no mesh itself: UV Map bakes a converted copy, Vertex Colors refuses it.
    out = Bake(uv, &box, MW_OBJECT_CONVERTIBLE, 1);
    EXPECT_EQ(out.width, 50);
    out = Bake(vertex, &box, MW_OBJECT_CONVERTIBLE, 1);
    EXPECT_TRUE(failure(out, "Object must be unmodified Editable Mesh"));
    EXPECT_FALSE(out.hasColours);

    out = Bake(Values({{"algorithm", ALGORITHM_SPATIAL}}), &box);
    EXPECT_TRUE(failure(out, "This Grit type is not implemented yet"));
    EXPECT_NE(Ini().find("algorithm=1010"), std::string::npos);

    // Arrays that do not fit together start no bake.
    mw_mesh record = box.Record();
    box.triangleVertices[0] = 99;
    mw_scene scene{1, "Box", MW_OBJECT_MESH, &record};
    EXPECT_EQ(mw_bake_start(uv.data(), kSettingCount, &scene, 0), MW_INVALID_ARGUMENT);
    EXPECT_STREQ(mw_last_error(), "triangle 0 names vertex 99, but the mesh has 8 vertices");
    mw_bake_status status{};
    ASSERT_EQ(mw_bake_poll(&status), MW_OK);
    EXPECT_EQ(status.state, MW_BAKE_IDLE);
}

// A bake long enough for the cancel to land on any machine: one worker, the widest ray fan, a large
// map (the run looks at the cancel button after half a second).
TEST_F(BlenderHost, CancelledRunAsksAndKeepsOrDiscardsThePartialMap) {
    PolyMesh box = OpenBox(10.0f);
    const std::vector<double> slow = Values({{"XSiz", 1024}, {"YSiz", 1024}, {"dist", 20},
                                             {"horizontalSpread", 24}, {"verticalSpread", 10}});

    const BakeOutcome discarded = Bake(slow, &box, MW_OBJECT_MESH, 1, true, Answer::No, 1);
    EXPECT_TRUE(discarded.cancelSeen);
    ASSERT_EQ(discarded.questions, std::vector<std::string>{"Save Partial Bitmap?"});
    EXPECT_EQ(discarded.width, 0);  // nothing written
    EXPECT_TRUE(std::any_of(discarded.messages.begin(), discarded.messages.end(),
                            [](const Message& m) { return m.text.rfind("elapsed time = ", 0) == 0; }));

    const BakeOutcome kept = Bake(slow, &box, MW_OBJECT_MESH, 1, true, Answer::Yes, 1);
    ASSERT_EQ(kept.questions.size(), 1u);
    ASSERT_EQ(kept.width, 1024);
    // The rows the run had not reached stay black; a whole map has no black texel (see above).
    EXPECT_GT(std::count(kept.grey.begin(), kept.grey.end(), 0), 1024 * 1024 / 2);
}

TEST_F(BlenderHost, RunningBakeRefusesPanelAndSecondBake) {
    PolyMesh box = OpenBox(10.0f);
    const std::vector<double> slow = Values({{"XSiz", 1024}, {"YSiz", 1024}, {"horizontalSpread", 24},
                                             {"verticalSpread", 10}, {"dist", 20}});
    mw_mesh record = box.Record();
    mw_scene scene{1, "Box", MW_OBJECT_MESH, &record};
    ASSERT_EQ(mw_bake_start(slow.data(), kSettingCount, &scene, 1), MW_OK) << mw_last_error();
    std::vector<double> values(kSettingCount);
    EXPECT_EQ(mw_panel_read(values.data(), kSettingCount, nullptr), MW_BUSY);
    EXPECT_EQ(mw_bake_start(slow.data(), kSettingCount, &scene, 1), MW_BUSY);
    EXPECT_EQ(mw_bake_finish(), MW_BUSY);
    int32_t w = 0, h = 0;
    EXPECT_EQ(mw_bake_image_size(&w, &h), MW_BUSY);
    // Shutting down cancels, answers the question with No and waits for the end.
    ASSERT_EQ(mw_shutdown(), MW_OK);
    mw_bake_status status{};
    ASSERT_EQ(mw_bake_poll(&status), MW_OK);
    EXPECT_EQ(status.state, MW_BAKE_IDLE);
    EXPECT_EQ(mw_panel_read(values.data(), kSettingCount, nullptr), MW_OK) << mw_last_error();
}
