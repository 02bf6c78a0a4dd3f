#include "tests/fuzz/MeshBake.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/MessageBox.h"
#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {
constexpr int kMapSide = 16;
// Covered texels evaluated before the UV run is cancelled (then the partial map is saved).
constexpr int kTexelBudget = 48;
// Faces the vertex run evaluates, spread over the mesh.
constexpr int kVertexFaces = 6;

bool IsFinite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

bool AllVerticesFinite(const Mesh& mesh) {
    return std::all_of(mesh.verts.begin(), mesh.verts.end(), IsFinite);
}

// Half the bounding box's diagonal, so the rays reach other parts of the mesh; 1 when
// that is not a positive finite length.
float DistanceFor(const Mesh& mesh) {
    if (mesh.verts.empty()) return 1.0f;
    Point3 lo = mesh.verts.front(), hi = lo;
    for (const Point3& p : mesh.verts) {
        lo = Point3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = Point3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    const double dx = double(hi.x) - lo.x, dy = double(hi.y) - lo.y, dz = double(hi.z) - lo.z;
    const double d = 0.5 * std::sqrt(dx * dx + dy * dy + dz * dz);
    return d > 0.0 && d < 1e30 ? static_cast<float>(d) : 1.0f;
}

bool UsesMaterials(const Mesh& mesh) {
    return std::any_of(mesh.faces.begin(), mesh.faces.end(), [](const Face& f) { return f.getMatID() != 0; });
}

void SmallSettings(GritSettings& s, const Mesh& mesh, int algorithm) {
    s = GritSettings{};
    s.algorithm = algorithm;
    s.XSiz = kMapSide;
    s.YSiz = kMapSide;
    s.horizontalSpread = 2;
    s.verticalSpread = 1;
    s.mapChannel = 1;
    s.dist = DistanceFor(mesh);
    s.noiseOn = 1;
    s.noiseSize = s.dist;
    // With several materials, only the first one's faces: the filter's path runs too.
    s.mtlIDOn = UsesMaterials(mesh) ? 1 : 0;
    s.mtlID = 1;
}

bool IsInfoBox(const RecordedBox& box) { return (box.type & MB_ICONINFORMATION) == MB_ICONINFORMATION; }

void CheckHostRecord(const TestHost& host, const char* run) {
    FUZZ_CHECK(host.assertions.empty(), (std::string(run) + ": internal assertion at line " +
                                         std::to_string(host.assertions.front().first) + " of " +
                                         host.assertions.front().second).c_str());
    for (const RecordedBox& box : host.boxes)
        FUZZ_CHECK(!IsInfoBox(box), (std::string(run) + " refused the mesh: " + box.text).c_str());
    FUZZ_CHECK(host.progressTitles.size() == 1 && host.progressEnds == 1, run);
}

// The value grid the run leaves, read before the utility goes.
BArray<float> BakeUvMap(const Mesh& mesh, bool plainScan) {
    TestHost host;
    host.answers = {IDYES};  // after the budget's cancel, save the partial map
    host.outputFile = "fuzz.png";
    GritUtility utility;
    SmallSettings(utility.settings, mesh, ALGORITHM_UV_MAP);
    utility.engine.threads = 1;
    utility.engine.reference = plainScan;
    TestTriObject object;
    object.mesh = mesh;
    TestNode node("fuzz", &object);
    host.selection = {&node};

    std::atomic<int> evaluated{0};
    utility.beforeTexelHook = [&utility, &evaluated](int x, int y) {
        if (utility.texels.Get(x, y).IsCovered() && ++evaluated > kTexelBudget) utility.cancelRequested.store(1);
    };
    utility.GenerateUvGritMap();

    CheckHostRecord(host, "UV run");
    FUZZ_CHECK(host.written.size() == 1, "the UV run writes one bitmap");
    const WrittenBitmap& bitmap = host.written.front();
    FUZZ_CHECK(bitmap.width == kMapSide && bitmap.height == kMapSide, "bitmap size");
    for (const BMM_Color_64& px : bitmap.pixels)
        FUZZ_CHECK(px.r == px.g && px.g == px.b && px.a == 65535, "grey, opaque pixels");
    if (AllVerticesFinite(mesh)) {
        for (unsigned y = 0; y < utility.gritValues.RowCount(); ++y)
            for (unsigned x = 0; x < utility.gritValues.ColumnCount(); ++x) {
                const float v = utility.gritValues.Get(static_cast<int>(x), static_cast<int>(y));
                FUZZ_CHECK(v >= 0.0f && v <= 1.0f, "UV grit values lie in 0 ... 1");
            }
    }
    return utility.gritValues;
}

bool SameValues(const BArray<float>& a, const BArray<float>& b) {
    if (a.ColumnCount() != b.ColumnCount() || a.RowCount() != b.RowCount()) return false;
    for (unsigned x = 0; x < a.ColumnCount(); ++x)
        for (unsigned y = 0; y < a.RowCount(); ++y) {
            const float u = a.At(x, y), v = b.At(x, y);
            if (std::memcmp(&u, &v, sizeof u) != 0) return false;
        }
    return true;
}

void BakeVertexColours(const Mesh& mesh) {
    TestHost host;
    GritUtility utility;
    SmallSettings(utility.settings, mesh, ALGORITHM_VERTEX_COLORS);
    utility.engine.threads = 1;
    TestTriObject object;
    object.mesh = mesh;
    TestNode node("fuzz", &object);
    host.selection = {&node};

    // A handful of faces, spread over the mesh, are selected; only they are evaluated.
    Mesh& target = object.mesh;
    const int faces = target.getNumFaces();
    const int chosen = std::min(faces, kVertexFaces);
    target.FaceSel().SetSize(faces);
    target.FaceSel().ClearAll();
    for (int k = 0; k < chosen; ++k) target.FaceSel().Set(static_cast<int>(static_cast<long long>(k) * faces / chosen));
    utility.settings.selectedOnly = 1;
    // Colours the file carried are multiplied; otherwise they are replaced.
    const bool accumulate = target.getNumVertCol() >= target.getNumVerts() && target.getNumVertCol() > 0;
    utility.settings.addVertexColors = accumulate ? 1 : 0;
    const std::vector<Point3> before = target.vertCol;

    utility.BuildVertexGrit();

    CheckHostRecord(host, "vertex run");
    FUZZ_CHECK(node.notices.size() == 2, "the vertex run sends two change notices");
    FUZZ_CHECK(target.getNumVertCol() >= target.getNumVerts(), "a colour vertex for every vertex");
    FUZZ_CHECK(target.getNumVCFaces() >= faces, "a colour face for every face");
    for (int f = 0; f < faces; ++f)
        for (int k = 0; k < 3; ++k)
            FUZZ_CHECK(target.vcFace[static_cast<size_t>(f)].t[k] < static_cast<DWORD>(target.getNumVertCol()),
                       "colour faces name existing colour vertices");
    for (size_t i = 0; i < target.vertCol.size(); ++i) {
        const Point3& c = target.vertCol[i];
        if (!accumulate) {
            for (float v : {c.x, c.y, c.z}) FUZZ_CHECK(v >= 0.0f && v <= 1.0f, "replaced colours lie in 0 ... 1");
        } else if (i < before.size() && IsFinite(before[i])) {
            // Multiplying by levels in 0 ... 1 never makes a component larger.
            const Point3& b = before[i];
            FUZZ_CHECK(std::fabs(c.x) <= std::fabs(b.x) && std::fabs(c.y) <= std::fabs(b.y) &&
                           std::fabs(c.z) <= std::fabs(b.z),
                       "accumulated colours never grow");
        }
    }
}
}  // namespace

void BakeMesh(const Mesh& mesh) {
    if (mesh.getNumFaces() < 1 || mesh.getNumFaces() > kBakeMaxFaces) return;
    // The same texels are evaluated in the same order with the same random numbers, so the
    // accelerated query and the plain scan must give the same map, bit for bit.
    const BArray<float> accelerated = BakeUvMap(mesh, false);
    const BArray<float> scanned = BakeUvMap(mesh, true);
    FUZZ_CHECK(SameValues(accelerated, scanned), "the accelerated ray query and the plain scan give the same map");
    BakeVertexColours(mesh);
}
