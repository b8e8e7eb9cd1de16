// The recording layer's state (the module in use and the open trace) and the trace writer.
#include "recorder.h"

#include <cerrno>
#include <cstdlib>

#include "trace_format.h"

namespace vor::scene {

namespace {

const Module *g_module = nullptr;
FILE *g_trace = nullptr;
std::string g_tracePath;

void WriteCallLine(ExportId id, const uint32_t *words, int32_t result) {
    const ExportSpec &sig = kExportSpecs[id];
    std::string line = sig.name;
    int w = 0;
    for (const char *a = sig.args; *a; ++a) {
        if (*a == 'b' || *a == 'h')
            continue;
        line += ' ';
        line += FormatArgument(*a, words[w++]);
    }
    if (sig.result != 'v')
        line += "  # -> " + FormatResult(sig.result, result);
    line += '\n';
    std::fputs(line.c_str(), g_trace);
}

} // namespace

void UseModule(const Module *module) {
    g_module = module;
}

bool BeginRecording(const std::string &path, std::string *error) {
    g_tracePath = path;
    g_trace = std::fopen((path + ".tmp").c_str(), "w");
    if (!g_trace) {
        *error = "cannot write trace " + path + ".tmp: " + std::strerror(errno);
        return false;
    }
    std::fputs("# vorcollide call trace: one exported call per line, results as comments\n",
               g_trace);
    return true;
}

bool EndRecording(std::string *error) {
    if (!g_trace)
        return true;
    bool ok = std::fflush(g_trace) == 0 && !std::ferror(g_trace);
    ok = std::fclose(g_trace) == 0 && ok;
    g_trace = nullptr;
    std::string tmp = g_tracePath + ".tmp";
    if (!ok || std::rename(tmp.c_str(), g_tracePath.c_str()) != 0) {
        *error = "cannot write trace " + g_tracePath + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

void AbortRecording() {
    if (!g_trace)
        return;
    std::fclose(g_trace);
    g_trace = nullptr;
    std::remove((g_tracePath + ".tmp").c_str());
}

bool Recording() {
    return g_trace != nullptr;
}

void RecordComment(const std::string &text) {
    if (g_trace)
        std::fprintf(g_trace, "# %s\n", text.c_str());
}

int32_t CallWords(ExportId id, const char *wordKinds, const uint32_t *words, int count) {
    // A call that does not fit the export's prototype is a bug in the tool, not a host error.
    const ExportSpec &sig = kExportSpecs[id];
    int w = 0;
    for (const char *a = sig.args; *a; ++a) {
        if (*a == 'b' || *a == 'h')
            continue;
        char want = *a == 'f' ? 'f' : 'n';
        if (w >= count || wordKinds[w] != want) {
            std::fprintf(stderr, "vorcollide-scene: internal error: bad arguments for %s\n",
                         sig.name);
            std::abort();
        }
        ++w;
    }
    if (w != count) {
        std::fprintf(stderr, "vorcollide-scene: internal error: bad arguments for %s\n", sig.name);
        std::abort();
    }
    int32_t result = InvokeExport(*g_module, id, words, nullptr, nullptr, nullptr);
    if (g_trace)
        WriteCallLine(id, words, result);
    return result;
}

void CallAddMesh(uint32_t obj, const void *block) {
    InvokeExport(*g_module, kAddMeshVOR, &obj, block, nullptr, nullptr);
    if (!g_trace)
        return;
    // The block as the library sees it: the header words, then x, y, z of every vertex.
    const unsigned char *bytes = static_cast<const unsigned char *>(block);
    int32_t word, count;
    uint32_t size;
    std::memcpy(&word, bytes, 4);
    std::memcpy(&size, bytes + 4, 4);
    std::memcpy(&count, bytes + 8, 4);
    std::string line = "AddMeshVOR " + FormatArgument('u', obj) + " block " +
                       FormatArgument('i', static_cast<uint32_t>(word)) + " " +
                       FormatArgument('u', size) + " " +
                       FormatArgument('i', static_cast<uint32_t>(count));
    const uint32_t stride = size & ~3u;
    for (int32_t k = 0; k < count; ++k) {
        float xyz[3];
        std::memcpy(xyz, bytes + 12 + static_cast<size_t>(k) * stride, sizeof xyz);
        for (float c : xyz)
            line += " " + FormatFloat(c);
    }
    line += '\n';
    std::fputs(line.c_str(), g_trace);
}

void CallSetErrorHandler(ErrorHandlerFn handler, void *user) {
    InvokeExport(*g_module, kSetErrorHandlerVOR, nullptr, nullptr, handler, user);
    RecordComment(handler ? "SetErrorHandlerVOR: the tool's handler (reports go to the output)"
                          : "SetErrorHandlerVOR: default handler");
}

} // namespace vor::scene
