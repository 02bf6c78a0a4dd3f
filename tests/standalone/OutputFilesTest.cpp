// The standalone host's output files: images in every format, read back with the formats' own
// libraries, and coloured meshes as PLY and OBJ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "host/AtomicReplace.h"
#include "standalone/ColouredMesh.h"
#include "standalone/ImageBitmapManager.h"
#include "standalone/ImageFile.h"
#include "standalone/ObjColourWriter.h"
#include "standalone/ObjScene.h"
#include "standalone/PlyWriter.h"
#include "standalone/PngFile.h"
#include "tests/common/TempDir.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

size_t FilesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

// Two triangles sharing the edge 1-2; colour faces as given.
Mesh TwoTriangles() {
    Mesh m;
    m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    m.setNumFaces(2);
    m.faces[0].setVerts(0, 1, 2);
    m.faces[1].setVerts(2, 1, 3);
    return m;
}

std::vector<BMM_Color_64> Ramp(int w, int h) {
    std::vector<BMM_Color_64> px(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < px.size(); ++i) {
        const auto g = static_cast<std::uint16_t>(i * 997 % 65536);
        px[i] = {g, g, g, 65535};
    }
    return px;
}

}  // namespace

TEST(ImageFile, EveryFormatReadsBackTheExactGreyLevelsAsOneChannel) {
    ScopedTempDir dir;
    const int w = 37, h = 11;
    auto px = Ramp(w, h);
    // The ends and the byte boundaries of the 16-bit range.
    const std::uint16_t edges[] = {0, 1, 255, 256, 32767, 32768, 65534, 65535};
    for (size_t i = 0; i < std::size(edges); ++i) px[i] = {edges[i], edges[i], edges[i], 65535};
    for (const std::string name : {"map.png", "map.tif", "map.tiff", "map.exr", "map.pgm"}) {
        std::string error;
        ASSERT_TRUE(WriteImageFile(dir.File(name), w, h, px, ImageLayout::Grey, error)) << name << ": " << error;
        const ImageReadBack back = ReadImageBack(dir.File(name));
        ASSERT_EQ(back.error, "") << name;
        EXPECT_EQ(back.width, w) << name;
        EXPECT_EQ(back.height, h) << name;
        EXPECT_EQ(back.channels, 1) << name;
        EXPECT_EQ(back.bits, name == "map.exr" ? 32 : 16) << name;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(back.Level(x, y), px[static_cast<size_t>(y) * w + x].r) << name << " at " << x << ", " << y;
        if (name == "map.exr") {
            EXPECT_EQ(back.channelNames, std::vector<std::string>{"Y"});
            EXPECT_EQ(back.floats[4], 32767.0f / 65535.0f);
        }
    }
    // The extension's case does not matter.
    std::string error;
    ASSERT_TRUE(WriteImageFile(dir.File("UPPER.PNG"), w, h, px, ImageLayout::Grey, error)) << error;
    EXPECT_EQ(ReadPngBack(dir.File("UPPER.PNG")).channels, 1);
    EXPECT_EQ(FilesIn(dir.Path()), 6u);  // no temporaries
}

TEST(ImageFile, RgbaWritesTheFourStoredChannelsInOrder) {
    ScopedTempDir dir;
    const int w = 5, h = 3;
    std::vector<BMM_Color_64> px(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = {static_cast<std::uint16_t>(1000 + i), static_cast<std::uint16_t>(30000 + i),
                 static_cast<std::uint16_t>(65535 - i), static_cast<std::uint16_t>(i == 4 ? 0 : 65535)};
    for (const std::string name : {"map.png", "map.tif", "map.exr"}) {
        std::string error;
        ASSERT_TRUE(WriteImageFile(dir.File(name), w, h, px, ImageLayout::Rgba, error)) << name << ": " << error;
        const ImageReadBack back = ReadImageBack(dir.File(name));
        ASSERT_EQ(back.error, "") << name;
        ASSERT_EQ(back.channels, 4) << name;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const BMM_Color_64& p = px[static_cast<size_t>(y) * w + x];
                EXPECT_EQ(back.Level(x, y, 0), p.r) << name;
                EXPECT_EQ(back.Level(x, y, 1), p.g) << name;
                EXPECT_EQ(back.Level(x, y, 2), p.b) << name;
                EXPECT_EQ(back.Level(x, y, 3), p.a) << name;
            }
    }
    EXPECT_TRUE(ReadTiffBack(dir.File("map.tif")).tiffUnassociatedAlpha);
    EXPECT_EQ(ReadExrBack(dir.File("map.exr")).channelNames, (std::vector<std::string>{"A", "B", "G", "R"}));
    std::string error;
    EXPECT_FALSE(WriteImageFile(dir.File("map.pgm"), w, h, px, ImageLayout::Rgba, error));
    EXPECT_NE(error.find("one grey channel"), std::string::npos) << error;
    EXPECT_EQ(FilesIn(dir.Path()), 3u);
}

TEST(ImageFile, PngBytesDoNotDependOnTheThreadCount) {
    // Tall enough for several compressed pieces, noisy so that the pieces do not shrink to nothing.
    const int w = 300, h = 900;
    std::vector<std::uint16_t> samples(static_cast<size_t>(w) * h);
    std::uint32_t state = 12345;
    for (auto& s : samples) {
        state = state * 1103515245u + 12345u;
        s = static_cast<std::uint16_t>(state >> 13);
    }
    const ImageSamples image{w, h, 1, samples.data()};
    ScopedTempDir dir;
    std::string first;
    for (int threads : {1, 2, 7}) {
        const std::string path = dir.File("t" + std::to_string(threads) + ".png");
        FileReplacement out(path);
        std::string error;
        ASSERT_TRUE(out.Begin(error)) << error;
        ASSERT_TRUE(WritePng(image, out, threads, error)) << error;
        ASSERT_TRUE(out.Commit(error)) << error;
        const std::string bytes = ReadWholeFile(path);
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first) << threads << " threads";
    }
    const ImageReadBack back = ReadPngBack(dir.File("t7.png"));
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.samples, samples);
}

TEST(ImageFile, FormatsAreKnownByExtensionAndFailuresLeaveNothing) {
    ImageFormat format;
    std::string error;
    EXPECT_TRUE(ImageFormatForPath("a/b/map.PNG", format, error)) << error;
    EXPECT_EQ(format, ImageFormat::Png);
    EXPECT_TRUE(ImageFormatForPath("map.Tiff", format, error)) << error;
    EXPECT_EQ(format, ImageFormat::Tiff);
    for (const char* refused : {"map.xyz", "map.jpg", "map.bmp", "map.hdr"}) {
        EXPECT_FALSE(ImageFormatForPath(refused, format, error)) << refused;
        EXPECT_NE(error.find(".png, .tif, .tiff, .exr or .pgm"), std::string::npos) << error;
    }
    EXPECT_FALSE(ImageFormatForPath("map", format, error));
    EXPECT_NE(error.find("no extension"), std::string::npos) << error;

    ScopedTempDir dir;
    WriteWholeFile(dir.Path() / "old.png", "keep me");
    EXPECT_FALSE(WriteImageFile(dir.File("old.png"), 2, 2, Ramp(2, 3), ImageLayout::Grey, error));  // wrong pixel count
    EXPECT_FALSE(WriteImageFile(dir.File("gone/x.png"), 2, 2, Ramp(2, 2), ImageLayout::Grey, error));
    EXPECT_FALSE(WriteImageFile(dir.File("x.jpg"), 2, 2, Ramp(2, 2), ImageLayout::Grey, error));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "old.png"), "keep me");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(ImageBitmapManager, StoresRowsWritesTheChosenFileAndRecordsFailures) {
    ScopedTempDir dir;
    ImageBitmapManager manager;
    BitmapInfo bi;
    bi.SetWidth(3);
    bi.SetHeight(2);
    Bitmap* bm = manager.Create(&bi);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->Width(), 3);
    const BMM_Color_64 row[4] = {{1, 1, 1, 65535}, {2, 2, 2, 65535}, {3, 3, 3, 65535}, {9, 9, 9, 9}};
    EXPECT_EQ(bm->PutPixels(0, 1, 4, row), 3);  // clipped at the right edge
    EXPECT_EQ(bm->PutPixels(0, 2, 3, row), 0);  // below the bottom

    EXPECT_FALSE(manager.SelectFileOutput(&bi, nullptr, nullptr, 0));  // no file chosen yet
    manager.outputFile = dir.File("grit.png");
    ASSERT_TRUE(manager.SelectFileOutput(&bi, nullptr, nullptr, 0));
    EXPECT_STREQ(bi.Name(), dir.File("grit.png").c_str());
    bm->OpenOutput(&bi);
    EXPECT_EQ(bm->Write(&bi, -2000000), 1);
    bm->Close(&bi, 0);

    bi.SetName(dir.File("absent/grit.png").c_str());
    bm->OpenOutput(&bi);
    EXPECT_EQ(bm->Write(&bi, -2000000), 0);
    bm->DeleteThis();
    EXPECT_EQ(manager.LiveBitmaps(), 0);
    ASSERT_EQ(manager.Writes().size(), 2u);
    EXPECT_TRUE(manager.Writes()[0].ok);
    EXPECT_FALSE(manager.Writes()[1].ok);
    EXPECT_NE(manager.Writes()[1].error.find("absent"), std::string::npos);

    const ImageReadBack back = ReadPngBack(dir.File("grit.png"));
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.channels, 1);
    EXPECT_EQ(back.Level(0, 0), 0);  // row 0 untouched
    EXPECT_EQ(back.Level(1, 1), 2);  // row 1, column 1

    // With the four channels chosen, the same bitmap writes r, g, b, a.
    manager.layout = ImageLayout::Rgba;
    bm = manager.Create(&bi);
    ASSERT_NE(bm, nullptr);
    bm->PutPixels(0, 0, 3, row);
    bi.SetName(dir.File("rgba.png").c_str());
    bm->OpenOutput(&bi);
    EXPECT_EQ(bm->Write(&bi, -2000000), 1);
    bm->DeleteThis();
    const ImageReadBack rgba = ReadPngBack(dir.File("rgba.png"));
    ASSERT_EQ(rgba.channels, 4);
    EXPECT_EQ(rgba.Level(2, 0, 1), 3);
    EXPECT_EQ(rgba.Level(2, 0, 3), 65535);
    EXPECT_EQ(rgba.Level(2, 1, 3), 0);  // a row never filled: all zero, alpha too
}

TEST(ColouredMesh, KeepsVerticesWhenColoursAreOnePerVertexAndSplitsOtherwise) {
    Mesh m = TwoTriangles();
    m.vertCol = {{0.1f, 0.1f, 0.1f}, {0.2f, 0.2f, 0.2f}, {0.3f, 0.3f, 0.3f}, {0.4f, 0.4f, 0.4f}};
    m.vcFace = {TVFace(0, 1, 2), TVFace(2, 1, 3)};
    ColouredMesh layout;
    std::string error;
    ASSERT_TRUE(LayOutVertexColours(m, layout, error)) << error;
    EXPECT_FALSE(layout.split);
    EXPECT_EQ(layout.position.size(), 4u);
    EXPECT_EQ(layout.colour[3].x, 0.4f);

    // Vertex 1 carries colour 1 in face 0 and colour 4 in face 1: it becomes two vertices.
    m.vertCol.push_back({0.9f, 0.8f, 0.7f});
    m.vcFace[1] = TVFace(2, 4, 3);
    ASSERT_TRUE(LayOutVertexColours(m, layout, error)) << error;
    EXPECT_TRUE(layout.split);
    ASSERT_EQ(layout.position.size(), 5u);
    const int split = layout.faces[1][1];
    EXPECT_NE(split, layout.faces[0][1]);
    EXPECT_EQ(layout.sourceVertex[static_cast<size_t>(split)], 1);
    EXPECT_EQ(layout.colour[static_cast<size_t>(split)].y, 0.8f);
    EXPECT_EQ(layout.colour[static_cast<size_t>(layout.faces[0][1])].y, 0.2f);

    m.vcFace[1] = TVFace(2, 7, 3);
    EXPECT_FALSE(LayOutVertexColours(m, layout, error));
    m.vcFace.clear();
    EXPECT_FALSE(LayOutVertexColours(m, layout, error));
}

TEST(PlyWriter, BinaryLittleEndianWithByteColours) {
    EXPECT_EQ(ColourByte(0.0f), 0);
    EXPECT_EQ(ColourByte(0.5f), 128);
    EXPECT_EQ(ColourByte(1.0f), 255);
    EXPECT_EQ(ColourByte(1.7f), 255);
    EXPECT_EQ(ColourByte(-0.2f), 0);
    EXPECT_EQ(ColourByte(std::nanf("")), 0);

    Mesh m = TwoTriangles();
    m.verts[3] = {1.5f, -2.0f, 3.25f};
    m.vertCol = {{0, 0, 0}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, {1.0f, 0.25f, 0.0f}};
    m.vcFace = {TVFace(0, 1, 2), TVFace(2, 1, 3)};
    ScopedTempDir dir;
    std::string error;
    ASSERT_TRUE(WriteColouredPly(dir.File("m.ply"), m, error)) << error;
    const std::string bytes = ReadWholeFile(dir.Path() / "m.ply");
    const size_t body = bytes.find("end_header\n");
    ASSERT_NE(body, std::string::npos);
    const std::string header = bytes.substr(0, body);
    EXPECT_NE(header.find("format binary_little_endian 1.0\n"), std::string::npos);
    EXPECT_NE(header.find("element vertex 4\n"), std::string::npos);
    EXPECT_NE(header.find("property uchar red\n"), std::string::npos);
    EXPECT_NE(header.find("element face 2\nproperty list uchar int vertex_indices\n"), std::string::npos);
    const char* p = bytes.data() + body + 11;
    ASSERT_EQ(bytes.size(), body + 11 + 4 * 15 + 2 * 13);
    // Vertex 3: three floats then three bytes.
    float xyz[3];
    std::memcpy(xyz, p + 3 * 15, 12);
    EXPECT_EQ(xyz[0], 1.5f);
    EXPECT_EQ(xyz[1], -2.0f);
    EXPECT_EQ(xyz[2], 3.25f);
    EXPECT_EQ(static_cast<unsigned char>(p[3 * 15 + 12]), 255);
    EXPECT_EQ(static_cast<unsigned char>(p[3 * 15 + 13]), 64);
    EXPECT_EQ(static_cast<unsigned char>(p[2 * 15 + 12]), 128);
    // Face 1: count 3, then 2 1 3.
    const char* f1 = p + 4 * 15 + 13;
    EXPECT_EQ(f1[0], 3);
    std::int32_t idx[3];
    std::memcpy(idx, f1 + 1, 12);
    EXPECT_EQ(idx[0], 2);
    EXPECT_EQ(idx[1], 1);
    EXPECT_EQ(idx[2], 3);
}

TEST(ObjColourWriter, RewritesOnlyVertexLinesAndReadsBackExactly) {
    const std::string input =
        "# kept\r\n"
        "mtllib m.mtl\r\n"
        "v 0 0 0\r\n"
        "v 1 0 0 0.5\r\n"          // with w: dropped
        "v 0 1 0\r\n"
        "  v 9 9 9\r\n"            // used by no object: white
        "vt 0.5 0.5\r\nvn 0 0 1\r\n"
        "o part\r\ng top\r\nusemtl red\r\ns 2\r\n"
        "f 1/1/1 2/1/1 3/1/1\r\n";
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(ParseObjScene(input, "x", scene, error)) << error;
    scene.objects[0].mesh.vertCol = {{0.1f, 0.2f, 0.3f}, {1.0f / 3.0f, 1.0f, 0.0f}, {0.7f, 0.7f, 0.7f}};
    scene.objects[0].mesh.vcFace = {TVFace(0, 1, 2)};
    ScopedTempDir dir;
    ASSERT_TRUE(WriteColouredObj(dir.File("out.obj"), scene, scene.objects[0], scene.objects[0].mesh, error)) << error;
    const std::string out = ReadWholeFile(dir.Path() / "out.obj");
    EXPECT_EQ(out,
              "# kept\r\n"
              "mtllib m.mtl\r\n"
              "v 0 0 0 0.1 0.2 0.3\r\n"
              "v 1 0 0 0.33333334 1 0\r\n"
              "v 0 1 0 0.7 0.7 0.7\r\n"
              "  v 9 9 9 1 1 1\r\n"
              "vt 0.5 0.5\r\nvn 0 0 1\r\n"
              "o part\r\ng top\r\nusemtl red\r\ns 2\r\n"
              "f 1/1/1 2/1/1 3/1/1\r\n");
    ObjScene back;
    ASSERT_TRUE(ParseObjScene(out, "x", back, error)) << error;
    ASSERT_TRUE(back.hasColours);
    EXPECT_EQ(back.objects[0].mesh.vertCol[1].x, 1.0f / 3.0f);
}

TEST(ObjColourWriter, SplitColoursGiveANewObjOfTheObjectAlone) {
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(ParseObjScene("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvt 1 1\n"
                              "o quad\ng a\nusemtl red\ns 3\nf 1/1 2/2 3/1\nusemtl blue\nf 3/1 2/2 4/2\n",
                              "x", scene, error))
        << error;
    ObjObject& o = scene.objects[0];
    o.mesh.vertCol = {{0, 0, 0}, {0.25f, 0.25f, 0.25f}, {0.5f, 0.5f, 0.5f}, {1, 1, 1}, {0.75f, 0.75f, 0.75f}};
    o.mesh.vcFace = {TVFace(0, 1, 2), TVFace(2, 4, 3)};  // vertex 1 has two colours
    ScopedTempDir dir;
    ASSERT_TRUE(WriteColouredObj(dir.File("split.obj"), scene, o, o.mesh, error)) << error;
    ObjScene back;
    ASSERT_TRUE(LoadObjScene(dir.File("split.obj"), back, error)) << error;
    ASSERT_EQ(back.ObjectNames(), (std::vector<std::string>{"quad"}));
    const Mesh& m = back.objects[0].mesh;
    EXPECT_EQ(m.getNumVerts(), 5);
    ASSERT_EQ(m.getNumFaces(), 2);
    EXPECT_EQ(m.vertCol[m.faces[0].v[1]].x, 0.25f);
    EXPECT_EQ(m.vertCol[m.faces[1].v[1]].x, 0.75f);
    EXPECT_EQ(m.getVert(static_cast<int>(m.faces[1].v[1])).x, 1.0f);  // same position, split vertex
    EXPECT_EQ(back.objects[0].materialNames, (std::vector<std::string>{"red", "blue"}));
    EXPECT_EQ(m.faces[1].getSmGroup(), 4u);
    EXPECT_EQ(back.objects[0].GroupNames(), (std::vector<std::string>{"a"}));
    EXPECT_EQ(m.mapVerts(1)[m.mapFaces(1)[1].t[2]].y, 1.0f);
}
