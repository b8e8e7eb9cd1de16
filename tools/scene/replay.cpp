// The trace reader and replayer.
#include "replay.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "geometry.h"
#include "level.h"
#include "level_reader.h"
#include "recorder.h"
#include "trace_format.h"

namespace vor::scene {

namespace {

// Traces stay far below these; they only keep a corrupt line from asking for gigabytes.
constexpr uint32_t kMaxTraceVertexSize = 4096;
constexpr int32_t kMaxTraceVertices = 3000000;

struct TraceOp {
    int line = 0;
    ExportId id = kExportCount;
    std::vector<uint32_t> words;
    std::vector<uint32_t> block; // AddMeshVOR: the host vertex block, 4-byte aligned
    std::string expected;        // the recorded result, or empty
};

const char *KindName(char kind) {
    return kind == 'f' ? "a number" : kind == 'i' ? "an integer" : "an unsigned integer";
}

std::string DirectoryOf(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Builds a block with the recorded header and the vertices' x, y, z at the recorded stride.
bool ParseBlock(const std::vector<std::string> &t, TraceOp *op, std::string *error) {
    if (t.size() < 6 || t[2] != "block") {
        *error = "AddMeshVOR takes OBJECT block WORD VERTEXSIZE VERTEXCOUNT and then x y z of "
                 "every vertex";
        return false;
    }
    uint32_t obj, word, size, count;
    if (!ParseArgument(t[1], 'u', &obj) || !ParseArgument(t[3], 'i', &word) ||
        !ParseArgument(t[4], 'u', &size) || !ParseArgument(t[5], 'i', &count)) {
        *error = "AddMeshVOR: object, word, vertex size and vertex count must be integers";
        return false;
    }
    const int32_t n = static_cast<int32_t>(count);
    if (size > kMaxTraceVertexSize || n > kMaxTraceVertices) {
        *error = "AddMeshVOR: vertex size or count too large for a trace";
        return false;
    }
    const size_t vertices = n > 0 ? static_cast<size_t>(n) : 0;
    if (t.size() != 6 + 3 * vertices) {
        *error = "AddMeshVOR: " + std::to_string(vertices) + " vertices need " +
                 std::to_string(3 * vertices) + " coordinates, got " + std::to_string(t.size() - 6);
        return false;
    }
    const size_t stride = size & ~3u;
    const size_t bytes = 12 + (vertices ? (vertices - 1) * stride + 12 : 0);
    op->block.assign((bytes + 3) / 4, 0);
    unsigned char *base = reinterpret_cast<unsigned char *>(op->block.data());
    std::memcpy(base, &word, 4);
    std::memcpy(base + 4, &size, 4);
    std::memcpy(base + 8, &count, 4);
    for (size_t k = 0; k < vertices; ++k) {
        uint32_t xyz[3];
        for (int a = 0; a < 3; ++a) {
            if (!ParseArgument(t[6 + 3 * k + a], 'f', &xyz[a])) {
                *error = "AddMeshVOR: coordinate " + std::to_string(3 * k + a + 1) +
                         " is not a number: '" + t[6 + 3 * k + a] + "'";
                return false;
            }
        }
        std::memcpy(base + 12 + k * stride, xyz, sizeof xyz);
    }
    op->id = kAddMeshVOR;
    op->words = {obj};
    return true;
}

// "@level OBJECT FILE" (or the older "@obj OBJECT FILE.obj"): the level file's triangles into
// the object through AddMeshVOR.
bool ParseLevelDirective(const std::vector<std::string> &t, const std::string &traceDir,
                         TraceOp *op, std::string *error) {
    uint32_t obj;
    if (t.size() != 3 || !ParseArgument(t[1], 'u', &obj)) {
        *error = t[0] + " takes OBJECT FILE";
        return false;
    }
    std::string file = t[2];
    if (!file.empty() && file[0] != '/')
        file = traceDir + file;
    std::vector<Triangle> triangles;
    if (!ReadLevelFile(file, &triangles, error))
        return false;
    op->id = kAddMeshVOR;
    op->words = {obj};
    op->block = MakeVertexBlock(triangles);
    return true;
}

bool ParseCall(const std::vector<std::string> &t, TraceOp *op, std::string *error) {
    const int index = FindExport(t[0]);
    if (index < 0) {
        *error = "unknown call '" + t[0] + "'";
        return false;
    }
    const ExportId id = static_cast<ExportId>(index);
    if (id == kSetErrorHandlerVOR) {
        *error = "SetErrorHandlerVOR cannot be replayed (the replayer installs its own handler)";
        return false;
    }
    if (id == kAddMeshVOR)
        return ParseBlock(t, op, error);
    const ExportSpec &sig = kExportSpecs[id];
    const size_t want = static_cast<size_t>(WordCount(id));
    if (t.size() - 1 != want) {
        *error = std::string(sig.name) + " takes " + std::to_string(want) +
                 (want == 1 ? " argument, got " : " arguments, got ") +
                 std::to_string(t.size() - 1);
        return false;
    }
    op->id = id;
    for (size_t i = 0; i < want; ++i) {
        uint32_t bits;
        if (!ParseArgument(t[i + 1], sig.args[i], &bits)) {
            *error = "argument " + std::to_string(i + 1) + " of " + sig.name + " is not " +
                     KindName(sig.args[i]) + ": '" + t[i + 1] + "'";
            return false;
        }
        op->words.push_back(bits);
    }
    return true;
}

bool ReadTrace(const std::string &path, std::vector<TraceOp> *ops, std::string *error) {
    std::ifstream file(path);
    if (!file) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    const std::string dir = DirectoryOf(path);
    std::string text;
    int line = 0;
    while (std::getline(file, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        TraceLine parts = SplitTraceLine(text);
        if (parts.tokens.empty())
            continue;
        TraceOp op;
        op.line = line;
        std::string why;
        bool ok = parts.tokens[0][0] == '@'
                      ? (parts.tokens[0] == "@level" || parts.tokens[0] == "@obj"
                             ? ParseLevelDirective(parts.tokens, dir, &op, &why)
                             : (why = "unknown directive '" + parts.tokens[0] + "'", false))
                      : ParseCall(parts.tokens, &op, &why);
        if (!ok) {
            *error = path + ":" + std::to_string(line) + ": " + why;
            return false;
        }
        const std::string comment = Trim(parts.comment);
        if (comment.compare(0, 2, "->") == 0)
            op.expected = Trim(comment.substr(2));
        ops->push_back(std::move(op));
    }
    if (file.bad()) {
        *error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return true;
}

int g_replayLine = 0;
FILE *g_replayOut = nullptr;

void OnReplayReport(const char *text, const char *caption, void *) {
    std::fprintf(g_replayOut, "%d: error box: %s: %s\n", g_replayLine, caption, text);
}

std::string DescribeCall(const TraceOp &op) {
    const ExportSpec &sig = kExportSpecs[op.id];
    std::string s = sig.name;
    size_t w = 0;
    for (const char *a = sig.args; *a; ++a) {
        if (*a == 'b' || *a == 'h')
            continue;
        s += ' ';
        s += FormatArgument(*a, op.words[w++]);
    }
    return s;
}

} // namespace

int ReplayTrace(const std::string &path, bool quiet, FILE *out, FILE *err) {
    std::vector<TraceOp> ops;
    std::string error;
    if (!ReadTrace(path, &ops, &error)) {
        std::fprintf(err, "vorcollide-scene: %s\n", error.c_str());
        return 1;
    }
    g_replayOut = out;
    CallSetErrorHandler(OnReplayReport, nullptr);
    long results = 0, checked = 0, differ = 0;
    for (const TraceOp &op : ops) {
        g_replayLine = op.line;
        const ExportSpec &sig = kExportSpecs[op.id];
        if (op.id == kAddMeshVOR) {
            CallAddMesh(op.words[0], op.block.data());
            continue;
        }
        std::string kinds;
        for (const char *a = sig.args; *a; ++a)
            kinds += *a == 'f' ? 'f' : 'n';
        const int32_t result =
            CallWords(op.id, kinds.c_str(), op.words.data(), static_cast<int>(op.words.size()));
        if (sig.result == 'v')
            continue;
        ++results;
        const std::string text = FormatResult(sig.result, result);
        if (!quiet)
            std::fprintf(out, "%d: %s = %s\n", op.line, DescribeCall(op).c_str(), text.c_str());
        if (op.expected.empty())
            continue;
        ++checked;
        if (op.expected != text) {
            ++differ;
            std::fprintf(out, "%d: DIFFERS: %s gave %s, the trace recorded %s\n", op.line, sig.name,
                         text.c_str(), op.expected.c_str());
        }
    }
    std::fprintf(out,
                 "replayed %zu calls from %s: %ld results, %ld compared with the recorded "
                 "results, %ld differ\n",
                 ops.size(), path.c_str(), results, checked, differ);
    return differ ? 3 : 0;
}

} // namespace vor::scene
