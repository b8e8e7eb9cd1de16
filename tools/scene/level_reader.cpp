// The level reader, on assimp. The file is opened first by us, so a missing or unreadable file
// gives the system's reason rather than a guess about its format.
#include "level_reader.h"

#include <sys/stat.h>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vor::scene {

namespace {

bool Readable(const std::string &path, std::string *error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = path + ": cannot open: it is a directory";
        return false;
    }
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    return true;
}

bool Finite(const aiVector3D &v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool EndsWith(const std::string &text, const char *tail) {
    const size_t n = std::strlen(tail);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != tail[i])
            return false;
    return true;
}

// The up axis the file itself declares, where its format has one. glTF is +y up by definition;
// assimp turns Collada and 3DS files upright itself, and passes an FBX file's axes on as the
// metadata UpAxis and UpAxisSign.
bool FileUpAxis(const std::string &path, const aiScene &scene, UpAxis *up, std::string *how) {
    if (EndsWith(path, ".gltf") || EndsWith(path, ".glb")) {
        *up = UpAxis{};
        *how = "glTF is +y up";
        return true;
    }
    int32_t axis = 0, sign = 1;
    if (scene.mMetaData == nullptr || !scene.mMetaData->Get("UpAxis", axis) || axis < 0 || axis > 2)
        return false;
    if (scene.mMetaData->Get("UpAxisSign", sign) && sign < 0)
        sign = -1;
    else
        sign = 1;
    *up = UpAxis{axis, sign};
    *how = "the file's UpAxis";
    return true;
}

} // namespace

bool ParseUpAxis(const std::string &text, UpAxis *up) {
    std::string t = text;
    int sign = 1;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        sign = t[0] == '-' ? -1 : 1;
        t = t.substr(1);
    }
    if (t.size() != 1 || t[0] < 'x' || t[0] > 'z')
        return false;
    *up = UpAxis{t[0] - 'x', sign};
    return true;
}

std::string UpAxisName(UpAxis up) {
    return std::string(up.sign < 0 ? "-" : "+") + static_cast<char>('x' + up.axis);
}

Point TurnUpright(Point p, UpAxis up) {
    // A quarter turn about z brings x up, one about x brings z up, a half turn about x -y.
    if (up.axis == 0)
        return up.sign > 0 ? Point{-p.y, p.x, p.z} : Point{p.y, -p.x, p.z};
    if (up.axis == 2)
        return up.sign > 0 ? Point{p.x, p.z, -p.y} : Point{p.x, -p.z, p.y};
    return up.sign > 0 ? p : Point{p.x, -p.y, -p.z};
}

bool ReadLevelFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error) {
    LevelFile level;
    const UpAxis asItIs; // +y: no turn
    if (!ReadLevelFile(path, &asItIs, &level, error))
        return false;
    *triangles = std::move(level.triangles);
    return true;
}

bool ReadLevelFile(const std::string &path, const UpAxis *requestedUp, LevelFile *level,
                   std::string *error) {
    if (!Readable(path, error))
        return false;
    Assimp::Importer importer;
    // Points and lines have no surface to collide with.
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene *scene =
        importer.ReadFile(path, aiProcess_Triangulate | aiProcess_PreTransformVertices |
                                    aiProcess_SortByPType | aiProcess_ValidateDataStructure);
    if (scene == nullptr) {
        *error = path + ": cannot read the level: " + importer.GetErrorString();
        return false;
    }
    UpAxis up;
    std::string upHow = "as read: the file names no other";
    if (requestedUp != nullptr) {
        up = *requestedUp;
        upHow = "--up";
    } else {
        FileUpAxis(path, *scene, &up, &upHow);
    }
    std::vector<Triangle> out;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh *mesh = scene->mMeshes[m];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace &face = mesh->mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            const aiVector3D &a = mesh->mVertices[face.mIndices[0]];
            const aiVector3D &b = mesh->mVertices[face.mIndices[1]];
            const aiVector3D &c = mesh->mVertices[face.mIndices[2]];
            if (!Finite(a) || !Finite(b) || !Finite(c)) {
                *error = path + ": triangle " + std::to_string(f + 1) + " of mesh " +
                         std::to_string(m + 1) + " has a coordinate that is not a finite number";
                return false;
            }
            out.push_back({TurnUpright({a.x, a.y, a.z}, up), TurnUpright({b.x, b.y, b.z}, up),
                           TurnUpright({c.x, c.y, c.z}, up)});
        }
    }
    if (out.empty()) {
        *error = path + ": no triangles (the level needs faces, not only points or lines)";
        return false;
    }
    level->triangles = std::move(out);
    level->up = up;
    level->upHow = upHow;
    return true;
}

} // namespace vor::scene
