// The UV Map run end to end through the scripted host: checks and their messages, the progress
// display, filters, cancel and the partial-save question, failures of the workers, and the map
// it writes.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <regex>
#include <set>
#include <thread>

#include "host/Platform.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "standalone/ObjScene.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestPaths.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/GritBitmap.h"
#include "uvgrit/Rasterizer.h"

namespace {
constexpr UINT kInfo = MB_OK | MB_ICONINFORMATION;

// Restores normal thread starts when a test ends, however it ends.
struct ThreadStartFailures {
    explicit ThreadStartFailures(int failingAttempt) {
        SetThreadStartFailureHook([failingAttempt](int attempt) { return attempt == failingAttempt; });
    }
    ~ThreadStartFailures() { SetThreadStartFailureHook({}); }
};

bool IsElapsedTimeBox(const RecordedBox& box) {
    return std::regex_match(box.text, std::regex("elapsed time = [0-9]+ secs")) && box.caption == "Murkwell" &&
           box.type == MB_OK;
}

int CountLines(const TestHost& host, const std::string& prefix) {
    int n = 0;
    for (const auto& l : host.debugLines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

bool AllBlack(const WrittenBitmap& bmp) {
    for (const BMM_Color_64& px : bmp.pixels)
        if (!(px == BMM_Color_64{0, 0, 0, 65535})) return false;
    return !bmp.pixels.empty();
}

class UvGritRun : public testing::Test {
protected:
    void SetUp() override {
        GritSettings& s = utility.settings;
        s.XSiz = 8;
        s.YSiz = 8;
        s.horizontalSpread = 4;
        s.verticalSpread = 1;
        s.dist = 3.0f;
        s.mapChannel = 1;
        // The tests that hold workers or fail their starts count on two of them.
        utility.engine.threads = 2;
        object.mesh = MakeUvOpenBox(4.0f);
        host.selection = {&node};
    }

    // Leaves the texel grid of an earlier run behind: one covered cell, one non-zero value.
    void LeaveEarlierRun() {
        utility.texels = EmptyGrid(3, 3);
        TexelRecord r;
        r.faceIndex = 5;
        r.weights = Point3(0.2f, 0.3f, 0.5f);
        utility.texels.Set(0, 0, r);
        utility.gritValues.Resize(3, 3, 0.7f);
    }
    void ExpectResetGrid(int w, int h) {
        ASSERT_EQ(utility.texels.ColumnCount(), unsigned(w));
        ASSERT_EQ(utility.texels.RowCount(), unsigned(h));
        ASSERT_EQ(utility.gritValues.ColumnCount(), unsigned(w));
        ASSERT_EQ(utility.gritValues.RowCount(), unsigned(h));
        EXPECT_EQ(CoveredCount(utility.texels), 0);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) EXPECT_EQ(utility.gritValues.Get(x, y), 0.0f);
    }
    // Holds every worker at its first texel until the run has asked it to cancel, so the first
    // poll always finds the workers busy, whatever the machine's speed.
    void HoldWorkersUntilCancel() {
        utility.beforeTexelHook = [this](int, int) {
            while (utility.cancelRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        host.cancelAtPoll = 1;
    }

    TestHost host;
    GritUtility utility;
    TestTriObject object;
    TestNode node{"box", &object};
};

TEST_F(UvGritRun, NeedsExactlyOneSelectedNode) {
    for (int count : {0, 2}) {
        SCOPED_TRACE(count);
        TestHost fresh;
        LeaveEarlierRun();
        TestTriObject other;
        TestNode second("other", &other);
        if (count == 2) fresh.selection = {&node, &second};
        utility.GenerateUvGritMap();
        ASSERT_EQ(fresh.boxes.size(), 1u);
        EXPECT_EQ(fresh.boxes[0].text, "Select exactly one node");
        EXPECT_EQ(fresh.boxes[0].caption, "Murkwell");
        EXPECT_EQ(fresh.boxes[0].type, kInfo);
        EXPECT_TRUE(fresh.progressTitles.empty());
        EXPECT_EQ(fresh.bitmapsCreated, 0);
        ExpectResetGrid(8, 8);  // the grids are reset before the check
    }
}

TEST_F(UvGritRun, NeedsAnObjectThatBecomesATriangleMesh) {
    TestUnconvertibleObject light;
    TestConvertibleObject empty;
    empty.conversionYieldsNothing = true;
    for (Object* o : {static_cast<Object*>(&light), static_cast<Object*>(&empty)}) {
        TestHost fresh;
        TestNode n("n", o);
        fresh.selection = {&n};
        utility.GenerateUvGritMap();
        EXPECT_EQ(fresh.BoxTexts(), std::vector<std::string>{"Could not get TriObject"});
        EXPECT_EQ(fresh.boxes[0].type, kInfo);
        EXPECT_TRUE(fresh.progressTitles.empty());
        EXPECT_EQ(fresh.bitmapsCreated, 0);
    }
}

TEST_F(UvGritRun, ConvertedCopyIsDeletedAndTheNodesOwnMeshIsNot) {
    TestConvertibleObject parametric;
    parametric.mesh = MakeUvOpenBox(4.0f);
    TestNode n("parametric", &parametric);
    host.selection = {&n};
    utility.GenerateUvGritMap();
    EXPECT_EQ(parametric.copiesMade, 1);
    EXPECT_EQ(parametric.copiesDeleted, 1);
    EXPECT_EQ(host.written.size(), 1u);

    host.selection = {&node};
    utility.GenerateUvGritMap();
    EXPECT_EQ(object.deleteCalls, 0);
    EXPECT_EQ(host.written.size(), 2u);
}

TEST_F(UvGritRun, CompleteRunReportsTimeAndWritesTheMapWithoutAskingAnything) {
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(IsElapsedTimeBox(host.boxes[0])) << host.boxes[0].text;
    EXPECT_EQ(host.progressTitles, std::vector<std::string>{"Building Grit Map"});
    EXPECT_EQ(host.progressEnds, 1);
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_EQ(host.written[0].width, 8);
    EXPECT_EQ(host.written[0].height, 8);
    EXPECT_FALSE(AllBlack(host.written[0]));  // the box floor has grit near its walls
    // The floor's two faces are rasterised; the walls have no area in this projection.
    EXPECT_EQ(CountLines(host, "TRIANGLE"), 10);
    EXPECT_EQ(CountLines(host, "DRAWLINE"), 6);
    // Vertex normals live only within the run; face normals stay.
    EXPECT_EQ(utility.vertexNormals.Count(), 0);
    EXPECT_EQ(utility.faceNormals.Count(), 10);
}

TEST_F(UvGritRun, ProgressFollowsTheFacesWhileRasterising) {
    object.mesh = MakeUvSheet(10, 10);
    ASSERT_EQ(object.mesh.getNumFaces(), 200);
    utility.GenerateUvGritMap();
    ASSERT_GE(host.progressUpdates.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(host.progressUpdates[size_t(i)], i / 2) << i;
}

TEST_F(UvGritRun, MaterialFilterLeavesOutOtherFacesWithADebugLine) {
    object.mesh = MakeUvSheet(3, 1);  // six faces
    for (int i = 0; i < 6; ++i) object.mesh.faces[size_t(i)].setMatID(i == 5 ? 0 : 1);
    utility.settings.mtlIDOn = 1;
    utility.settings.mtlID = 2;
    utility.GenerateUvGritMap();
    EXPECT_EQ(CountLines(host, "Face "), 1);
    EXPECT_EQ(CountLines(host, "Face 5 not included - mtlID 1\n"), 1);
    EXPECT_TRUE(CellsOfFace(utility.texels, 5).empty());
    EXPECT_FALSE(CellsOfFace(utility.texels, 4).empty());
    EXPECT_EQ(CountLines(host, "TRIANGLE"), 5);
}

TEST_F(UvGritRun, SelectedFacesOnlyWithoutSelectionGivesABlackMap) {
    utility.settings.selectedOnly = 1;
    object.mesh.faceSel.ClearAll();
    utility.GenerateUvGritMap();
    EXPECT_EQ(CountLines(host, "TRIANGLE"), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(IsElapsedTimeBox(host.boxes[0]));
    EXPECT_EQ(host.fileSelections, 1);
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_TRUE(AllBlack(host.written[0]));

    // With one face selected, only that face is covered.
    object.mesh.faceSel.Set(1);
    utility.GenerateUvGritMap();
    EXPECT_EQ(CellsOfFace(utility.texels, 1).size(), size_t(CoveredCount(utility.texels)));
    EXPECT_GT(CoveredCount(utility.texels), 0);
}

TEST_F(UvGritRun, ChannelWithoutMapVerticesGivesABlackMap) {
    utility.settings.mapChannel = 2;
    utility.GenerateUvGritMap();
    EXPECT_EQ(CountLines(host, "TRIANGLE"), 0);
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_TRUE(AllBlack(host.written[0]));
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(UvGritRun, SmallerSecondRunShrinksAndResetsTheGrids) {
    utility.settings.XSiz = 16;
    utility.settings.YSiz = 16;
    utility.GenerateUvGritMap();
    ASSERT_GT(CoveredCount(utility.texels), 0);

    utility.settings.XSiz = 8;
    utility.settings.YSiz = 4;
    utility.settings.mapChannel = 2;
    utility.GenerateUvGritMap();
    ExpectResetGrid(8, 4);
    ASSERT_EQ(host.written.size(), 2u);
    EXPECT_EQ(host.written[1].width, 8);
    EXPECT_EQ(host.written[1].height, 4);
}

TEST_F(UvGritRun, CancelThenNoWritesNothing) {
    HoldWorkersUntilCancel();
    host.answers = {IDNO};
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_TRUE(IsElapsedTimeBox(host.boxes[0])) << host.boxes[0].text;
    EXPECT_EQ(host.boxes[1].text, "Save Partial Bitmap?");
    EXPECT_EQ(host.boxes[1].caption, "Murkwell");
    EXPECT_EQ(host.boxes[1].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(host.bitmapsCreated, 0);
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.progressEnds, 1);
    EXPECT_GE(host.cancelPolls, 1);
}

TEST_F(UvGritRun, CancelThenYesWritesThePartialMap) {
    HoldWorkersUntilCancel();
    host.answers = {IDYES};
    utility.GenerateUvGritMap();
    EXPECT_EQ(host.BoxTexts().size(), 2u);
    EXPECT_EQ(host.BoxTexts().back(), "Save Partial Bitmap?");
    ASSERT_EQ(host.written.size(), 1u);
    // Both workers stopped before their first texel: every value is still 0.
    EXPECT_TRUE(AllBlack(host.written[0]));
    EXPECT_GT(CoveredCount(utility.texels), 0);
}

TEST_F(UvGritRun, WorkerThatCannotStartEndsTheRunInOrder) {
    for (int failing : {0, 1}) {
        SCOPED_TRACE(failing);
        TestHost fresh;
        TestConvertibleObject parametric;
        parametric.mesh = MakeUvOpenBox(4.0f);
        TestNode n("parametric", &parametric);
        fresh.selection = {&n};
        ThreadStartFailures failure(failing);
        utility.GenerateUvGritMap();
        EXPECT_EQ(fresh.BoxTexts(), std::vector<std::string>{"Could not start a worker thread"});
        EXPECT_EQ(fresh.boxes[0].type, kInfo);
        EXPECT_EQ(fresh.progressEnds, 1);
        EXPECT_EQ(fresh.bitmapsCreated, 0);
        EXPECT_EQ(parametric.copiesDeleted, 1);
        EXPECT_EQ(utility.vertexNormals.Count(), 0);
    }
    // The next run starts its workers normally again.
    utility.GenerateUvGritMap();
    EXPECT_EQ(host.written.size(), 1u);
}

TEST_F(UvGritRun, RaySpreadBeyondMemoryEndsTheRunWithAMessage) {
    utility.settings.horizontalSpread = INT_MAX;
    utility.settings.verticalSpread = INT_MAX;
    utility.GenerateUvGritMap();
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Not enough memory for the ray spread"});
    EXPECT_EQ(host.progressEnds, 1);
    EXPECT_EQ(host.bitmapsCreated, 0);
}

TEST_F(UvGritRun, MapSizeThatCannotMakeABitmapIsRefused) {
    const std::pair<int, int> sizes[] = {{0, 8}, {8, -5}, {70000, 8}, {8, 65536}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        TestHost fresh;
        fresh.selection = {&node};
        LeaveEarlierRun();
        utility.settings.XSiz = w;
        utility.settings.YSiz = h;
        utility.GenerateUvGritMap();
        const bool small = w < 1 || h < 1;
        EXPECT_EQ(fresh.BoxTexts(), std::vector<std::string>{small ? "Map size must be at least 1 x 1"
                                                                   : "Map size must be at most 65535 x 65535"});
        EXPECT_TRUE(fresh.progressTitles.empty());
        EXPECT_EQ(utility.texels.ColumnCount(), 0u);  // nothing of the earlier run is left
        EXPECT_EQ(utility.gritValues.ColumnCount(), 0u);
    }
}

TEST_F(UvGritRun, OneTexelMapWorks) {
    utility.settings.XSiz = 1;
    utility.settings.YSiz = 1;
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_EQ(host.written[0].pixels.size(), 1u);
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(UvGritRun, FacesWithoutAUsableMappingAreLeftOut) {
    object.mesh = MakeUvSheet(3, 1);               // six faces
    object.mesh.setNumMapFaces(1, 4);              // faces 4 and 5 have no map face
    object.mesh.mapFaces(1)[1] = TVFace(0, 1, 99);  // face 1 names a missing map vertex
    object.mesh.faces[2].v[1] = 1000;              // face 2 names a missing vertex
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_FALSE(CellsOfFace(utility.texels, 0).empty());
    EXPECT_FALSE(CellsOfFace(utility.texels, 3).empty());
    for (int f : {1, 2, 4, 5}) EXPECT_TRUE(CellsOfFace(utility.texels, f).empty()) << f;
    EXPECT_EQ(CountLines(host, "TRIANGLE"), 2);
    for (const auto& a : host.assertions) EXPECT_NE(a.second, "BArray");
}

TEST_F(UvGritRun, MapIsReproducibleAndEqualsASequentialEvaluation) {
    GritSettings& s = utility.settings;
    s.XSiz = 16;
    s.YSiz = 12;
    s.noiseOn = 1;
    s.noiseSize = 1.3f;
    utility.GenerateUvGritMap();
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.written.size(), 2u);
    EXPECT_EQ(host.written[0].pixels, host.written[1].pixels);

    // The same map, computed on this thread.
    const BArray<float> ref = SequentialTexelValues(s, object.mesh, utility.texels, false, true);

    const WrittenBitmap& bmp = host.written[0];
    std::set<std::uint16_t> levels;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint16_t g = GreyLevel(ref.Get(x, y));
            EXPECT_EQ(bmp.At(x, y), (BMM_Color_64{g, g, g, 65535})) << x << "," << y;
            levels.insert(bmp.At(x, y).r);
        }
    }
    EXPECT_GT(levels.size(), 3u);  // a real map, not a constant
}
TEST_F(UvGritRun, RealMeshWithStrayAndOverlappingUvsRunsCleanAndRepeatably) {
    // Texture coordinates far outside the unit square, and two mirrored halves on the same UVs.
    MURKWELL_REQUIRE_SHARED_MESH(path, "map-bump.obj");
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, scene, error)) << error;
    ASSERT_EQ(scene.objects.size(), 1u);
    object.mesh = scene.objects[0].mesh;
    GritSettings& s = utility.settings;
    s.XSiz = 24;
    s.YSiz = 16;
    s.dist = 10.0f;
    utility.GenerateUvGritMap();
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.written.size(), 2u);
    EXPECT_EQ(host.written[0].pixels, host.written[1].pixels);
    EXPECT_TRUE(host.assertions.empty());
    EXPECT_FALSE(AllBlack(host.written[0]));

    // Only faces whose corners all lie in the accepted range cover texels, and some do not.
    const Point3* tv = object.mesh.mapVerts(1);
    const TVFace* tf = object.mesh.mapFaces(1);
    std::set<int> covering;
    for (unsigned x = 0; x < utility.texels.ColumnCount(); ++x)
        for (unsigned y = 0; y < utility.texels.RowCount(); ++y)
            if (utility.texels.At(x, y).IsCovered()) covering.insert(utility.texels.At(x, y).faceIndex);
    int outside = 0;
    for (int f = 0; f < object.mesh.getNumFaces(); ++f) {
        const bool inRange = InAcceptedUvRange(tv[tf[f].t[0]]) && InAcceptedUvRange(tv[tf[f].t[1]]) &&
                             InAcceptedUvRange(tv[tf[f].t[2]]);
        outside += inRange ? 0 : 1;
        if (!inRange) {
            EXPECT_EQ(covering.count(f), 0u) << f;
        }
    }
    EXPECT_GT(outside, 0);
    EXPECT_FALSE(covering.empty());
}
}  // namespace
