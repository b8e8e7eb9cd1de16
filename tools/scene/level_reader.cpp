// The level reader, on assimp. The file is opened first by us, so a missing or unreadable file
// gives the system's reason rather than a guess about its format.
#include "level_reader.h"

#include <sys/stat.h>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

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

} // namespace

bool ReadLevelFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error) {
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
            out.push_back({{a.x, a.y, a.z}, {b.x, b.y, b.z}, {c.x, c.y, c.z}});
        }
    }
    if (out.empty()) {
        *error = path + ": no triangles (the level needs faces, not only points or lines)";
        return false;
    }
    *triangles = std::move(out);
    return true;
}

} // namespace vor::scene
