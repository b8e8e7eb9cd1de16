// Tests of the OBJ reader: the face forms it accepts, fan triangulation keeping the winding,
// and one-line errors naming the file and line.
#include <gtest/gtest.h>

#include "obj_reader.h"

using namespace vor::scene;

namespace {

bool Parse(const std::string &text, std::vector<Triangle> *t, std::string *error) {
    return ParseObjText(text, "level.obj", t, error);
}

bool Same(Point a, Point b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

TEST(ObjReader, AQuadIsFannedIntoTwoTrianglesWithItsWinding) {
    std::vector<Triangle> t;
    std::string error;
    ASSERT_TRUE(Parse("v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 4 3 2\n", &t, &error)) << error;
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(Same(t[0].a, {0, 0, 0}) && Same(t[0].b, {0, 0, 1}) && Same(t[0].c, {1, 0, 1}));
    EXPECT_TRUE(Same(t[1].a, {0, 0, 0}) && Same(t[1].b, {1, 0, 1}) && Same(t[1].c, {1, 0, 0}));
    // Counter-clockwise seen from above: the front faces up.
    Point n = Cross(t[0].b - t[0].a, t[0].c - t[0].a);
    EXPECT_GT(n.y, 0);
}

TEST(ObjReader, TextureNormalAndNegativeIndicesAreAccepted) {
    std::vector<Triangle> t;
    std::string error;
    const char *text = "# a comment\no thing\nv 0 0 0\nv 1 0 0 1.0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n"
                       "usemtl x\ns off\nf 1/1/1 2/1/1 3/1/1\nf 1//1 2//1 3//1\nf -3 -2 -1\r\n";
    ASSERT_TRUE(Parse(text, &t, &error)) << error;
    ASSERT_EQ(t.size(), 3u);
    for (const Triangle &x : t)
        EXPECT_TRUE(Same(x.a, {0, 0, 0}) && Same(x.b, {1, 0, 0}) && Same(x.c, {0, 1, 0}));
}

TEST(ObjReader, MalformedLinesNameTheFileAndLine) {
    struct Case {
        const char *text;
        const char *error;
    } cases[] = {
        {"v 0 0\n", "level.obj:1: a vertex needs three numbers x y z"},
        {"v 0 0 zero\n", "level.obj:1: a vertex needs three numbers x y z"},
        {"v 0 0 0\nv 1 0 0\nf 1 2\n", "level.obj:3: a face needs at least three corners"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2 4\n",
         "level.obj:5: bad face corner '4' (3 vertices defined so far)"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n",
         "level.obj:4: bad face corner '0' (3 vertices defined so far)"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 x\n",
         "level.obj:4: bad face corner 'x' (3 vertices defined so far)"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf -4 1 2\n",
         "level.obj:4: bad face corner '-4' (3 vertices defined so far)"},
        {"v 0 0 0\n", "level.obj: no faces (an OBJ level needs \"f\" lines)"},
    };
    for (const Case &c : cases) {
        std::vector<Triangle> t;
        std::string error;
        EXPECT_FALSE(Parse(c.text, &t, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(ObjReader, AMissingFileIsReportedWithItsName) {
    std::vector<Triangle> t;
    std::string error;
    EXPECT_FALSE(ReadObjFile("/nonexistent/level.obj", &t, &error));
    EXPECT_EQ(error, "/nonexistent/level.obj: cannot open: No such file or directory");
}
