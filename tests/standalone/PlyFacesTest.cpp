// Faces read from a PLY's own elements, for the triangle strips Assimp reads as one triangle:
// strip winding, restarts, stitches, the three encodings, polygons beside strips, and refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "standalone/PlyFaces.h"

namespace {

std::string Header(const char* format, int vertices, const std::string& elements) {
    return std::string("ply\nformat ") + format + " 1.0\ncomment test\nelement vertex " + std::to_string(vertices) +
           "\nproperty float x\nproperty float y\nproperty float z\n" + elements + "end_header\n";
}

template <class T>
void Put(std::string& out, T v, bool big) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    if (big)
        for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    out.append(b, sizeof(T));
}

// A binary file of `vertices` zero vertices and one strip element holding `strip`.
std::string BinaryStrips(int vertices, const std::vector<int>& strip, bool big) {
    std::string out = Header(big ? "binary_big_endian" : "binary_little_endian", vertices,
                             "element tristrips 1\nproperty list int int vertex_indices\n");
    for (int i = 0; i < vertices * 3; ++i) Put(out, 0.0f, big);
    Put(out, static_cast<std::int32_t>(strip.size()), big);
    for (int v : strip) Put(out, static_cast<std::int32_t>(v), big);
    return out;
}

std::vector<std::vector<unsigned>> Faces(const PlyFaces& f) {
    std::vector<std::vector<unsigned>> faces;
    size_t at = 0;
    for (unsigned n : f.faceSizes) {
        faces.emplace_back(f.corners.begin() + static_cast<long>(at), f.corners.begin() + static_cast<long>(at + n));
        at += n;
    }
    return faces;
}

using F = std::vector<std::vector<unsigned>>;

}  // namespace

TEST(PlyFaces, StripsAlternateTheirWindingAndRestartAtMinusOne) {
    // Two strips over a row of squares: 0 1 2 above 3 4 5, and 6 7 above 8 9.
    const std::vector<int> strip = {0, 3, 1, 4, 2, 5, -1, 6, 8, 7, 9};
    PlyFaces faces;
    std::string error;
    ASSERT_TRUE(ParsePlyFaces(BinaryStrips(10, strip, false), faces, error)) << error;
    EXPECT_TRUE(faces.hasStrips);
    EXPECT_EQ(faces.vertexCount, 10u);
    EXPECT_EQ(Faces(faces), (F{{0, 3, 1}, {1, 3, 4}, {1, 4, 2}, {2, 4, 5}, {6, 8, 7}, {7, 8, 9}}));
    EXPECT_EQ(faces.stitchTriangles, 0u);

    // The same from big-endian and from ASCII text.
    PlyFaces big, text;
    ASSERT_TRUE(ParsePlyFaces(BinaryStrips(10, strip, true), big, error)) << error;
    EXPECT_EQ(Faces(big), Faces(faces));
    std::string ascii = Header("ascii", 10, "element tristrips 1\nproperty list int int vertex_indices\n");
    for (int i = 0; i < 10; ++i) ascii += "0 0 0\n";
    ascii += "11 0 3 1 4 2 5 -1 6 8 7 9\n";
    ASSERT_TRUE(ParsePlyFaces(ascii, text, error)) << error;
    EXPECT_EQ(Faces(text), Faces(faces));
}

TEST(PlyFaces, StitchesWithARepeatedVertexAreLeftOutWithoutBreakingTheWinding) {
    // 0 1 2 3 | 3 4 ...: a strip continued through the repeated 3 and 4, as strippers join strips.
    PlyFaces faces;
    std::string error;
    ASSERT_TRUE(ParsePlyFaces(BinaryStrips(8, {0, 1, 2, 3, 3, 4, 4, 5, 6, 7}, false), faces, error)) << error;
    EXPECT_EQ(Faces(faces), (F{{0, 1, 2}, {2, 1, 3}, {4, 5, 6}, {6, 5, 7}}));
    EXPECT_EQ(faces.stitchTriangles, 4u);
}

TEST(PlyFaces, PolygonsOfAFaceElementComeInFileOrderBesideTheStrips) {
    std::string text = Header("ascii", 6,
                              "element face 2\nproperty uchar flags\nproperty list uchar int vertex_indices\n"
                              "element tristrips 1\nproperty list int int vertex_indices\n");
    for (int i = 0; i < 6; ++i) text += "0 0 0\n";
    text += "7 4 0 1 2 3\n7 3 3 2 1\n4 2 3 4 5\n";
    PlyFaces faces;
    std::string error;
    ASSERT_TRUE(ParsePlyFaces(text, faces, error)) << error;
    EXPECT_EQ(Faces(faces), (F{{0, 1, 2, 3}, {3, 2, 1}, {2, 3, 4}, {4, 3, 5}}));
}

TEST(PlyFaces, TheVerticesOfAFileWithStripsAreReadWithTheAttributesAssimpWouldRead) {
    std::string text =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
        "property uchar quality\nproperty float nx\nproperty float ny\nproperty float nz\nproperty float s\n"
        "property float t\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
        "element tristrips 1\nproperty list int int vertex_indices\nend_header\n"
        "0.1 0 0 9 0 0 1 0.25 0.5 255 0 51\n1 0 0 9 0 0 1 0.75 0.5 0 255 0\n0 1 0 9 0 0 -1 0.25 1 0 0 255\n"
        "3 0 1 2\n";
    PlyFaces faces;
    std::string error;
    ASSERT_TRUE(ParsePlyFaces(text, faces, error)) << error;
    EXPECT_EQ(faces.positions, (std::vector<float>{0.1f, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(faces.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, -1}));
    EXPECT_EQ(faces.uvs, (std::vector<float>{0.25f, 0.5f, 0, 0.75f, 0.5f, 0, 0.25f, 1, 0}));
    EXPECT_EQ(faces.colours, (std::vector<float>{1, 0, 0.2f, 1, 0, 1, 0, 1, 0, 0, 1, 1}));
    EXPECT_EQ(Faces(faces), (F{{0, 1, 2}}));

    // Without normals, texture coordinates or colours, none are made up.
    PlyFaces bare;
    ASSERT_TRUE(ParsePlyFaces(BinaryStrips(3, {0, 1, 2}, false), bare, error)) << error;
    EXPECT_EQ(bare.positions.size(), 9u);
    EXPECT_TRUE(bare.normals.empty() && bare.uvs.empty() && bare.colours.empty());
}

TEST(PlyFaces, AFileWithoutStripsIsReadWholeAndABrokenHeaderIsRefused) {
    const std::string text = Header("ascii", 3, "element face 1\nproperty list uchar int vertex_indices\n") +
                             "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    PlyFaces faces;
    std::string error;
    ASSERT_TRUE(ParsePlyFaces(text, faces, error)) << error;
    EXPECT_FALSE(faces.hasStrips);
    EXPECT_EQ(faces.faceSizes, std::vector<unsigned>{3});
    EXPECT_EQ(faces.corners, (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(faces.positions.size(), 9u);
    // A header cut short (a fuzzing find that made Assimp's reader spin for minutes) is refused.
    std::string broken = text;
    broken.replace(broken.find("end_header"), 10, "end_head\"x\"");
    EXPECT_FALSE(ParsePlyFaces(broken, faces, error));
    EXPECT_NE(error.find("the PLY header has a line it cannot read"), std::string::npos) << error;
}

TEST(PlyFaces, MalformedFilesAreRefusedNamingTheElementAndRecord) {
    PlyFaces faces;
    std::string error;
    EXPECT_FALSE(ParsePlyFaces(BinaryStrips(4, {0, 1, 4}, false), faces, error));
    EXPECT_EQ(error, "the PLY element tristrips record 1 refers to vertex 4 (the file has 4)");
    EXPECT_FALSE(ParsePlyFaces(BinaryStrips(4, {0, 1, -2}, false), faces, error));
    EXPECT_EQ(error, "the PLY element tristrips record 1 refers to vertex -2 (the file has 4)");
    std::string cut = BinaryStrips(4, {0, 1, 2, 3}, false);
    cut.resize(cut.size() - 2);
    EXPECT_FALSE(ParsePlyFaces(cut, faces, error));
    EXPECT_EQ(error, "the file ends inside the PLY element tristrips record 1");
    cut = BinaryStrips(4, {0, 1, 2, 3}, false);
    cut.resize(cut.size() - 24);  // into the vertices
    EXPECT_FALSE(ParsePlyFaces(cut, faces, error));
    EXPECT_EQ(error, "the file ends inside the PLY element vertex");
    EXPECT_FALSE(ParsePlyFaces("solid cube\n", faces, error));
    EXPECT_EQ(error, "not a PLY file (it does not start with \"ply\")");
    EXPECT_FALSE(ParsePlyFaces("ply\nformat ascii 1.0\nelement tristrips 1\nproperty list float int vertex_indices\n"
                               "end_header\n",
                               faces, error));
    EXPECT_EQ(error, "the PLY header has a property it cannot read: property list float int vertex_indices");
}
