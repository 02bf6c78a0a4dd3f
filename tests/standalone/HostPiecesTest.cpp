// Pieces of the standalone host: progress display, configuration directory, option texts,
// interrupts, scene nodes and the host interface.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>

#include "hostapp/HostInstallation.h"
#include "standalone/BakeOptions.h"
#include "standalone/ConfigDir.h"
#include "standalone/Interrupts.h"
#include "standalone/ProgressDisplay.h"
#include "standalone/ObjScene.h"
#include "standalone/SceneNodes.h"
#include "standalone/StandaloneHost.h"
#include "standalone/TerminalPrompt.h"
#include "tests/common/TempDir.h"

namespace {

struct FakeClock {
    double now = 100.0;
    std::function<double()> Fn() {
        return [this] { return now; };
    }
};

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(ProgressDisplay, PlainLinesOncePerTenthAndPerPhase) {
    std::ostringstream out;
    FakeClock clock;
    ProgressDisplay p(out, ProgressDisplay::Style::Lines, clock.Fn());
    p.Start("Building Grit Map");
    for (int pct : {0, 3, 9, 10, 15, 99}) p.Update(pct);
    clock.now += 75;
    for (int pct : {0, 42, 43, 100}) p.Update(pct);  // a second phase starts again from 0
    p.End();
    p.Update(50);  // after the end: nothing
    const std::string s = out.str();
    EXPECT_EQ(Count(s, "\n"), 1u + 3u + 3u + 1u) << s;
    EXPECT_NE(s.find("Building Grit Map: 42% (1:15 elapsed)\n"), std::string::npos) << s;
    EXPECT_NE(s.find("Building Grit Map: finished (1:15 elapsed)\n"), std::string::npos) << s;
    EXPECT_EQ(s.find('\r'), std::string::npos);
}

TEST(ProgressDisplay, BarRedrawsInPlaceWithAnEstimateAndQuietPrintsNothing) {
    std::ostringstream out;
    FakeClock clock;
    ProgressDisplay p(out, ProgressDisplay::Style::Bar, clock.Fn());
    p.Start("Building Vertex Grit");
    clock.now += 30;
    p.Update(25);
    const std::string s = out.str();
    const std::string last = s.substr(s.rfind('\r'));
    EXPECT_NE(last.find("[#######-----------------------]  25%"), std::string::npos) << last;
    EXPECT_NE(last.find("0:30 elapsed, about 1:30 left"), std::string::npos) << last;
    EXPECT_EQ(s.find('\n'), std::string::npos);
    p.Update(25);  // nothing shown changes: no redraw
    EXPECT_EQ(Count(out.str(), "\r"), 2u);
    p.BreakLine();
    p.BreakLine();  // only one line end
    p.End();        // the line is already ended
    EXPECT_EQ(Count(out.str(), "\n"), 1u);
    p.Start("again");
    p.End();
    EXPECT_EQ(Count(out.str(), "\n"), 2u);

    std::ostringstream quiet;
    ProgressDisplay q(quiet, ProgressDisplay::Style::Quiet, clock.Fn());
    q.Start("x");
    q.Update(50);
    q.End();
    EXPECT_TRUE(quiet.str().empty());
    EXPECT_EQ(ProgressDisplay::FormatDuration(3725), "1:02:05");
}

TEST(ConfigDir, GivenThenXdgThenHomeAndCreatedWhenMissing) {
    ScopedTempDir tmp;
    std::map<std::string, std::string> vars;
    const EnvLookup env = [&](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
    std::string dir, error;
    vars["HOME"] = tmp.File("home");
    ASSERT_TRUE(ResolveConfigDir("", env, dir, error)) << error;
    EXPECT_EQ(dir, tmp.File("home/.config/murkwell"));
    EXPECT_TRUE(std::filesystem::is_directory(dir));

    vars["XDG_CONFIG_HOME"] = "relative/ignored";
    ASSERT_TRUE(ResolveConfigDir("", env, dir, error));
    EXPECT_EQ(dir, tmp.File("home/.config/murkwell"));
    vars["XDG_CONFIG_HOME"] = tmp.File("xdg");
    ASSERT_TRUE(ResolveConfigDir("", env, dir, error));
    EXPECT_EQ(dir, tmp.File("xdg/murkwell"));

    ASSERT_TRUE(ResolveConfigDir(tmp.File("given/deep"), env, dir, error));
    EXPECT_TRUE(std::filesystem::is_directory(tmp.File("given/deep")));

    WriteWholeFile(tmp.Path() / "plainfile", "x");
    EXPECT_FALSE(ResolveConfigDir(tmp.File("plainfile/sub"), env, dir, error));
    EXPECT_NE(error.find("plainfile"), std::string::npos);
    vars.clear();
    EXPECT_FALSE(ResolveConfigDir("", env, dir, error));
    EXPECT_NE(error.find("--config-dir"), std::string::npos);
}

TEST(BakeOptions, TextsParseStrictlyAndRangesNameTheOption) {
    int a = 0, b = 0;
    float f = 0;
    EXPECT_TRUE(ParsePairText("512x256", a, b));
    EXPECT_EQ(a, 512);
    EXPECT_EQ(b, 256);
    EXPECT_TRUE(ParsePairText("8X1", a, b));
    for (const char* bad : {"512", "x1", "8x", "8x1x2", "8 x1", "8x1.5", "axb"}) EXPECT_FALSE(ParsePairText(bad, a, b)) << bad;
    EXPECT_TRUE(ParseFloatText("12.5", f));
    EXPECT_EQ(f, 12.5f);
    for (const char* bad : {"", "12.5abc", "nan", "inf", "1e99", "--3"}) EXPECT_FALSE(ParseFloatText(bad, f)) << bad;
    for (const char* bad : {"", "1.0", "3x", "99999999999"}) EXPECT_FALSE(ParseIntText(bad, a)) << bad;

    BakeOptions o;
    std::string error;
    EXPECT_TRUE(CheckOptionRanges(o, error));
    o.size = {50, 4096};
    o.dist = 1.0f;
    o.spread = {0, 10};
    EXPECT_TRUE(CheckOptionRanges(o, error)) << error;
    o.size = {50, 4097};
    EXPECT_FALSE(CheckOptionRanges(o, error));
    EXPECT_EQ(error, "--size: the height 4097 is outside the range 50 ... 4096");
    o.size.reset();
    o.dist = 0.5f;
    EXPECT_FALSE(CheckOptionRanges(o, error));
    EXPECT_EQ(error, "--dist 0.5 is outside the range 1 ... 100000; for a mesh this small, scale it on import: use "
                     "--scale 4 --dist 2");
    o.dist.reset();
    o.mtlID = 0;
    EXPECT_FALSE(CheckOptionRanges(o, error));
    EXPECT_NE(error.find("1 ... 100"), std::string::npos);

    GritSettings s;
    EXPECT_TRUE(CheckSettingsRanges(s, error));
    s.XSiz = 0;
    EXPECT_FALSE(CheckSettingsRanges(s, error));
    EXPECT_EQ(error, "XSiz 0 is outside the range 50 ... 4096");
}

TEST(BakeOptions, OnlyGivenOptionsChangeTheSettings) {
    GritSettings s;
    s.dist = 7.0f;
    s.noiseSize = 3.0f;
    s.mtlIDOn = 1;
    BakeOptions o;
    o.size = {64, 80};
    o.noiseOn = true;
    o.mtlIDOn = false;
    o.accumulate = true;
    o.algorithm = ALGORITHM_VERTEX_COLORS;
    ApplyBakeOptions(o, s);
    EXPECT_EQ(s.XSiz, 64);
    EXPECT_EQ(s.YSiz, 80);
    EXPECT_EQ(s.dist, 7.0f);
    EXPECT_EQ(s.noiseOn, 1);
    EXPECT_EQ(s.noiseSize, 3.0f);
    EXPECT_EQ(s.mtlIDOn, 0);
    EXPECT_EQ(s.addVertexColors, 1);
    EXPECT_EQ(s.algorithm, ALGORITHM_VERTEX_COLORS);
    EXPECT_EQ(s.horizontalSpread, 8);
}

TEST(Interrupts, SigintCountsInsteadOfEndingTheProcessWhileInScope) {
    ResetInterrupts();
    {
        InterruptScope scope;
        std::raise(SIGINT);
        std::raise(SIGINT);
        EXPECT_EQ(InterruptCount(), 2);
    }
    NoteInterrupt();
    EXPECT_EQ(InterruptCount(), 3);
    ResetInterrupts();
    EXPECT_EQ(InterruptCount(), 0);
    EXPECT_EQ(ParseYesNo(" Yes "), std::optional<bool>(true));
    EXPECT_EQ(ParseYesNo("n"), std::optional<bool>(false));
    EXPECT_EQ(ParseYesNo("maybe"), std::nullopt);
}

TEST(StandaloneHost, NodesConvertAsEditableMeshesAndChangeNoticesMarkThem) {
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(ParseObjScene("v 0 0 0\nv 1 0 0\nv 0 1 0\no solid\nf 1 2 3\no empty\n", "x", scene, error)) << error;
    auto nodes = MakeSceneNodes(scene);
    ASSERT_EQ(nodes.size(), 2u);
    SceneNode& solid = *nodes[0];
    Object* obj = solid.EvalWorldState(0, TRUE).obj;
    ASSERT_TRUE(obj->CanConvertToType(triObjectClassID));
    EXPECT_EQ(obj->ConvertToType(0, triObjectClassID), obj);
    EXPECT_EQ(solid.GetObjectRef(), obj);
    ASSERT_NE(solid.EditableMesh(), nullptr);
    EXPECT_EQ(solid.EditableMesh()->getNumFaces(), 1);
    EXPECT_FALSE(solid.Modified());
    solid.NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE, NOTIFY_ALL, TRUE, nullptr);
    EXPECT_TRUE(solid.Modified());

    SceneNode& empty = *nodes[1];
    EXPECT_FALSE(empty.EvalWorldState(0, TRUE).obj->CanConvertToType(triObjectClassID));
    EXPECT_EQ(empty.EvalWorldState(0, TRUE).obj->ConvertToType(0, triObjectClassID), nullptr);
    EXPECT_EQ(empty.EditableMesh(), nullptr);

    std::ostringstream progressOut;
    ProgressDisplay progress(progressOut, ProgressDisplay::Style::Quiet);
    bool cancel = false;
    StandaloneHost host(progress, [&] { return cancel; }, "/some/dir");
    std::vector<int> seen;
    host.SetProgressObserver([&](int pct) { seen.push_back(pct); });
    host.SetSelection({&solid});
    EXPECT_EQ(host.GetSelNodeCount(), 1);
    EXPECT_EQ(host.GetSelNode(0), &solid);
    EXPECT_EQ(host.GetSelNode(1), nullptr);
    EXPECT_STREQ(host.GetDir(APP_PLUGCFG_DIR), "/some/dir");
    host.ProgressStart("t", TRUE, nullptr, nullptr);
    host.ProgressUpdate(40, TRUE, nullptr);
    EXPECT_EQ(seen, (std::vector<int>{0, 40}));
    EXPECT_FALSE(host.GetCancel());
    cancel = true;
    EXPECT_TRUE(host.GetCancel());
    cancel = false;
    EXPECT_TRUE(host.GetCancel());  // a pressed cancel stays pressed
    EXPECT_TRUE(host.CancelSeen());

    Interface* before = GetCOREInterface();
    {
        HostInstallation installed(&host, nullptr, {});
        EXPECT_EQ(GetCOREInterface(), &host);
    }
    EXPECT_EQ(GetCOREInterface(), before);
}
