// Tests of the level reader: OBJ faces fanned keeping their winding, the face forms and negative
// indices an exporter writes, other formats than OBJ, node transforms applied, and one-line
// errors naming the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "level_reader.h"

using namespace vor::scene;

namespace {

// Writes text to a fresh file NAME in a per-test temporary directory and answers its path.
std::string WriteFile(const std::string &name, const std::string &text) {
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/vor_level_reader_XXXXXX";
        dir = mkdtemp(pattern);
    }
    const std::string path = dir + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

bool Read(const std::string &name, const std::string &text, std::vector<Triangle> *t,
          std::string *error) {
    return ReadLevelFile(WriteFile(name, text), t, error);
}

bool Same(Point a, Point b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool SameCorners(const Triangle &t, Point a, Point b, Point c) {
    // The same triangle with the same winding, whichever corner comes first.
    return (Same(t.a, a) && Same(t.b, b) && Same(t.c, c)) ||
           (Same(t.a, b) && Same(t.b, c) && Same(t.c, a)) ||
           (Same(t.a, c) && Same(t.b, a) && Same(t.c, b));
}

} // namespace

TEST(LevelReader, AnObjQuadBecomesTwoTrianglesFacingItsWay) {
    std::vector<Triangle> t;
    std::string error;
    ASSERT_TRUE(Read("quad.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 4 3 2\n", &t, &error))
        << error;
    ASSERT_EQ(t.size(), 2u);
    float area = 0;
    for (const Triangle &x : t) {
        // Counter-clockwise seen from above: the front faces up.
        Point n = Cross(x.b - x.a, x.c - x.a);
        EXPECT_GT(n.y, 0);
        area += 0.5f * Length(n);
    }
    EXPECT_FLOAT_EQ(area, 1.0f);
}

TEST(LevelReader, ObjTextureNormalAndNegativeIndicesAreAccepted) {
    std::vector<Triangle> t;
    std::string error;
    const char *text = "# a comment\no thing\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n"
                       "s off\nf 1/1/1 2/1/1 3/1/1\nf 1//1 2//1 3//1\nf -3 -2 -1\r\n";
    ASSERT_TRUE(Read("forms.obj", text, &t, &error)) << error;
    ASSERT_EQ(t.size(), 3u);
    for (const Triangle &x : t)
        EXPECT_TRUE(SameCorners(x, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
}

TEST(LevelReader, OtherFormatsAreReadToo) {
    // An ASCII STL and an ASCII PLY of the same triangle.
    const char *stl = "solid t\nfacet normal 0 1 0\nouter loop\nvertex 0 0 0\nvertex 0 0 1\n"
                      "vertex 1 0 0\nendloop\nendfacet\nendsolid t\n";
    const char *ply =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
        "end_header\n0 0 0\n0 0 1\n1 0 0\n3 0 1 2\n";
    for (auto file : {std::make_pair("tri.stl", stl), std::make_pair("tri.ply", ply)}) {
        std::vector<Triangle> t;
        std::string error;
        ASSERT_TRUE(Read(file.first, file.second, &t, &error)) << file.first << ": " << error;
        ASSERT_EQ(t.size(), 1u) << file.first;
        EXPECT_TRUE(SameCorners(t[0], {0, 0, 0}, {0, 0, 1}, {1, 0, 0})) << file.first;
    }
}

TEST(LevelReader, NodeTransformsAreApplied) {
    // A Collada triangle placed by its node 10 units up.
    const char *dae = R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
 <asset><unit meter="1" name="meter"/><up_axis>Y_UP</up_axis></asset>
 <library_geometries><geometry id="g"><mesh>
  <source id="p"><float_array id="pa" count="9">0 0 0 0 0 1 1 0 0</float_array>
   <technique_common><accessor source="#pa" count="3" stride="3"><param name="X" type="float"/>
   <param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source>
  <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
  <triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>
 </mesh></geometry></library_geometries>
 <library_visual_scenes><visual_scene id="s"><node id="n"><translate>0 10 0</translate>
  <instance_geometry url="#g"/></node></visual_scene></library_visual_scenes>
 <scene><instance_visual_scene url="#s"/></scene>
</COLLADA>
)";
    std::vector<Triangle> t;
    std::string error;
    ASSERT_TRUE(Read("placed.dae", dae, &t, &error)) << error;
    ASSERT_EQ(t.size(), 1u);
    EXPECT_TRUE(SameCorners(t[0], {0, 10, 0}, {0, 10, 1}, {1, 10, 0}));
}

TEST(LevelReader, ErrorsAreOneLineNamingTheFile) {
    struct Case {
        const char *name, *text, *error;
    } cases[] = {
        {"out_of_range.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n", "cannot read the level: "},
        {"points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\np 1 2 3\n", ""},
        {"nothing.obj", "v 0 0 0\n", "cannot read the level: "},
        {"level.unknown", "no level here\n", "cannot read the level: "},
        {"nan.obj", "v 0 0 0\nv 1 0 nan\nv 0 1 0\nf 1 2 3\n",
         ": triangle 1 of mesh 1 has a coordinate that is not a finite number"},
    };
    for (const Case &c : cases) {
        std::vector<Triangle> t;
        std::string error;
        const std::string path = WriteFile(c.name, c.text);
        EXPECT_FALSE(ReadLevelFile(path, &t, &error)) << c.name;
        EXPECT_EQ(error.compare(0, path.size() + 2, path + ": "), 0) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    std::vector<Triangle> t;
    std::string error;
    EXPECT_FALSE(ReadLevelFile("/nonexistent/level.obj", &t, &error));
    EXPECT_EQ(error, "/nonexistent/level.obj: cannot open: No such file or directory");
    EXPECT_FALSE(ReadLevelFile("/tmp", &t, &error));
    EXPECT_EQ(error, "/tmp: cannot open: it is a directory");
}

TEST(LevelReader, UpAxesAreReadAndNamed) {
    const char *good[] = {"x", "y", "z", "-x", "-y", "-z", "+z"};
    const int axes[] = {0, 1, 2, 0, 1, 2, 2}, signs[] = {1, 1, 1, -1, -1, -1, 1};
    for (int i = 0; i < 7; ++i) {
        UpAxis up;
        ASSERT_TRUE(ParseUpAxis(good[i], &up)) << good[i];
        EXPECT_EQ(up.axis, axes[i]) << good[i];
        EXPECT_EQ(up.sign, signs[i]) << good[i];
    }
    UpAxis up;
    for (const char *bad : {"", "-", "w", "xy", "--z", "Z", "1"})
        EXPECT_FALSE(ParseUpAxis(bad, &up)) << bad;
    EXPECT_EQ(UpAxisName({2, -1}), "-z");
    EXPECT_EQ(UpAxisName({0, 1}), "+x");
}

TEST(LevelReader, EveryUpAxisBecomesPlusYKeepingFrontFacesAndSizes) {
    // For each axis, a triangle facing it: turned upright it faces +y, with its lengths kept.
    for (const char *name : {"x", "y", "z", "-x", "-y", "-z"}) {
        UpAxis up;
        ASSERT_TRUE(ParseUpAxis(name, &up));
        Point n{0, 0, 0}, u{0, 0, 0}, v{0, 0, 0};
        (up.axis == 0 ? n.x : up.axis == 1 ? n.y : n.z) = static_cast<float>(up.sign);
        (up.axis == 0 ? u.y : up.axis == 1 ? u.z : u.x) = 2;
        v = Cross(n, u) * 0.5f; // n, u, v right-handed: (0, u, v) turns counter-clockwise about n
        const Point a = TurnUpright({0, 0, 0}, up), b = TurnUpright(u, up), c = TurnUpright(v, up);
        const Point front = Cross(b - a, c - a);
        EXPECT_GT(front.y, 0) << name;
        EXPECT_FLOAT_EQ(Length(front), Length(Cross(u, v))) << name;
        EXPECT_FLOAT_EQ(front.x * front.x + front.z * front.z, 0) << name;
    }
}

TEST(LevelReader, AskedUpAxisWinsAndIsSaid) {
    // A floor of a z-up file: its front faces +z. Read with --up z it lies flat, facing +y.
    const std::string path =
        WriteFile("zfloor.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    const UpAxis z{2, 1};
    LevelFile level;
    std::string error;
    ASSERT_TRUE(ReadLevelFile(path, &z, &level, &error)) << error;
    ASSERT_EQ(level.triangles.size(), 2u);
    EXPECT_EQ(level.upHow, "--up");
    EXPECT_EQ(UpAxisName(level.up), "+z");
    for (const Triangle &t : level.triangles) {
        EXPECT_EQ(t.a.y, 0);
        EXPECT_EQ(t.b.y, 0);
        EXPECT_EQ(t.c.y, 0);
        EXPECT_GT(Cross(t.b - t.a, t.c - t.a).y, 0);
    }
    // Without --up an OBJ (which names no up axis) is read as it is; a glTF file is +y up.
    ASSERT_TRUE(ReadLevelFile(path, nullptr, &level, &error)) << error;
    EXPECT_EQ(UpAxisName(level.up), "+y");
    EXPECT_EQ(level.upHow, "as read: the file names no other");
    EXPECT_GT(Cross(level.triangles[0].b - level.triangles[0].a,
                    level.triangles[0].c - level.triangles[0].a)
                  .z,
              0);
    const char *gltf =
        R"({"asset": {"version": "2.0"}, "scenes": [{"nodes": [0]}], "scene": 0,
 "nodes": [{"mesh": 0}], "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
 "buffers": [{"byteLength": 36,
  "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAAAAAAAAAAAAAIA/AACAPwAAAAAAAAAA"}],
 "bufferViews": [{"buffer": 0, "byteLength": 36}],
 "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
  "min": [0, 0, 0], "max": [1, 0, 1]}]})";
    ASSERT_TRUE(ReadLevelFile(WriteFile("tri.gltf", gltf), nullptr, &level, &error)) << error;
    ASSERT_EQ(level.triangles.size(), 1u);
    EXPECT_EQ(level.upHow, "glTF is +y up");
    EXPECT_TRUE(SameCorners(level.triangles[0], {0, 0, 0}, {0, 0, 1}, {1, 0, 0}));
}
