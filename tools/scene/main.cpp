// vorcollide-scene: runs a scene through the plug-in module as a host would (the built-in level,
// or a level file of the user's), prints a table per second and a summary, draws the run as an SVG
// picture, records the calls as a trace, and replays traces.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "level.h"
#include "level_reader.h"
#include "recorder.h"
#include "replay.h"
#include "scene.h"
#include "svg_writer.h"

using namespace vor::scene;

namespace {

const char kUsage[] =
    "usage: vorcollide-scene [options]              run the built-in scene (10 s at 60 fps)\n"
    "       vorcollide-scene replay [options] TRACE  replay a call trace\n"
    "options:\n"
    "  --module PATH        the plug-in module (default: libvorcollide.so next to this program,\n"
    "                       or in its parent directory)\n"
    "  --level FILE         use a level file as the level: OBJ, glTF, FBX, Collada, 3DS and every\n"
    "                       other format assimp reads\n"
    "  --up AXIS            the level file's up axis: x, y, z, -x, -y or -z (default: the\n"
    "                       file's own where its format names one, else y)\n"
    "  --char-radius R      characters' horizontal radius (height radius 1.8 R); default: the\n"
    "                       built-in level's 0.25, or 1/100 of a level file's width\n"
    "  --speed V            walking speed, units per second (default: 9.6 radii a second)\n"
    "  --gravity G          falling speed, units per second (default: 4.8 radii a second)\n"
    "  --svg PATH           where to draw the picture (default vorcollide-scene.svg)\n"
    "  --no-svg             draw no picture\n"
    "  --record FILE        write every call made to the library as a trace\n"
    "  --summary-json FILE  write the final state of every body as JSON\n"
    "  --frames N           number of frames (default 600)\n"
    "  --recover            overlap recovery on: bodies left inside another or the ground are\n"
    "                       pushed out (SetOverlapRecoveryVOR for every definition)\n"
    "  --quiet              no per-second table (replay: no per-result lines)\n"
    "exit status: 0 done, 1 bad input or file, 2 the module cannot be loaded,\n"
    "             3 a replayed result differs from the recorded one\n";

struct Options {
    bool replay = false;
    std::string module, level, svg = "vorcollide-scene.svg", record, json, trace;
    bool noSvg = false, quiet = false, recover = false;
    int frames = 600;
    ScaleRequest scale;
    bool upGiven = false;
    UpAxis up;
};

int Fail(const std::string &message, int status) {
    std::fprintf(stderr, "vorcollide-scene: %s\n", message.c_str());
    return status;
}

bool Exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// libvorcollide.so beside the executable, else in its parent directory (the build root).
std::string DefaultModulePath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = ".";
    if (n > 0) {
        self[n] = 0;
        dir = self;
        dir = dir.substr(0, dir.rfind('/'));
    }
    const std::string beside = dir + "/libvorcollide.so";
    const std::string parent = dir.substr(0, dir.rfind('/')) + "/libvorcollide.so";
    if (Exists(beside) || !Exists(parent))
        return beside;
    return parent;
}

bool ParseOptions(int argc, char **argv, Options *o, std::string *error) {
    int i = 1;
    if (argc > 1 && std::strcmp(argv[1], "replay") == 0) {
        o->replay = true;
        i = 2;
    }
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string *into) {
            if (i + 1 >= argc) {
                *error = a + " needs a value";
                return false;
            }
            *into = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--module") {
            if (!value(&o->module))
                return false;
        } else if (a == "--level" && !o->replay) {
            if (!value(&o->level))
                return false;
        } else if (a == "--up" && !o->replay) {
            std::string v;
            if (!value(&v))
                return false;
            if (!ParseUpAxis(v, &o->up)) {
                *error = "--up needs x, y, z, -x, -y or -z, not '" + v + "'";
                return false;
            }
            o->upGiven = true;
        } else if (a == "--svg" && !o->replay) {
            if (!value(&o->svg))
                return false;
        } else if (a == "--no-svg" && !o->replay) {
            o->noSvg = true;
        } else if (a == "--record") {
            if (!value(&o->record))
                return false;
        } else if (a == "--summary-json" && !o->replay) {
            if (!value(&o->json))
                return false;
        } else if (a == "--frames" && !o->replay) {
            std::string v;
            if (!value(&v))
                return false;
            char *end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (*end || n < 1 || n > 1000000) {
                *error = "--frames needs a number from 1 to 1000000, not '" + v + "'";
                return false;
            }
            o->frames = static_cast<int>(n);
        } else if ((a == "--char-radius" || a == "--speed" || a == "--gravity") && !o->replay) {
            std::string v;
            if (!value(&v))
                return false;
            char *end = nullptr;
            float x = std::strtof(v.c_str(), &end);
            if (end == v.c_str() || *end || !(x > 0) || !(x < 1e30f)) {
                *error = a + " needs a positive number, not '" + v + "'";
                return false;
            }
            (a == "--char-radius" ? o->scale.radius
             : a == "--speed"     ? o->scale.speed
                                  : o->scale.gravity) = x;
        } else if (a == "--recover" && !o->replay) {
            o->recover = true;
        } else if (a == "--quiet") {
            o->quiet = true;
        } else if (o->replay && o->trace.empty() && a[0] != '-') {
            o->trace = a;
        } else {
            *error = "unknown argument '" + a + "' (see --help)";
            return false;
        }
    }
    if (o->replay && o->trace.empty()) {
        *error = "replay needs a trace file (see --help)";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, &o, &error))
        return Fail(error, 1);

    // Read the level before anything else, so a bad file changes nothing.
    Level level = BuiltInLevel();
    if (!o.replay && !o.level.empty()) {
        LevelFile file;
        if (!ReadLevelFile(o.level, o.upGiven ? &o.up : nullptr, &file, &error))
            return Fail(error, 1);
        level = FileLevel(file.triangles, o.level);
        level.up = UpAxisName(file.up) + " (" + file.upHow + ")";
    }

    Module module;
    const std::string modulePath = o.module.empty() ? DefaultModulePath() : o.module;
    if (!LoadModule(modulePath, &module, &error))
        return Fail(error, 2);
    UseModule(&module);

    if (!o.record.empty() && !BeginRecording(o.record, &error)) {
        UnloadModule(&module);
        return Fail(error, 1);
    }

    if (Recording()) {
        std::string command = "recorded by:";
        for (int i = 0; i < argc; ++i)
            command += std::string(" ") + argv[i];
        RecordComment(command);
        RecordComment("module: " + modulePath);
    }
    int status = 0;
    if (o.replay) {
        status = ReplayTrace(o.trace, o.quiet, stdout, stderr);
    } else {
        SceneRun run;
        SceneOptions options;
        options.frames = o.frames;
        options.quiet = o.quiet;
        options.recover = o.recover;
        options.scale = o.scale;
        std::printf("vorcollide-scene: module %s, level %s, %d frames at 60 per second\n",
                    modulePath.c_str(), level.source.c_str(), o.frames);
        if (!level.up.empty())
            std::printf("up axis of the level file: %s\n", level.up.c_str());
        RunScene(level, o.level.empty(), options, &run, stdout);
        PrintSummary(run, stdout);
        if (!o.json.empty() && !WriteSummaryJson(run, o.json, &error))
            status = Fail(error, 1);
        if (status == 0 && !o.noSvg) {
            if (WriteSvg(run, o.svg, &error))
                std::printf("picture: %s\n", o.svg.c_str());
            else
                status = Fail(error, 1);
        }
    }
    if (status == 1)
        AbortRecording();
    else if (!EndRecording(&error))
        status = Fail(error, 1);
    else if (!o.record.empty())
        std::printf("trace: %s\n", o.record.c_str());
    std::fflush(stdout);
    UnloadModule(&module);
    return status;
}
