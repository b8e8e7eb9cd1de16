// The export table and the module loader: dlopen by path, dlsym by name for every export, and a
// dispatcher that calls each export with its exact C prototype from a row of 32-bit words.
#include "exports.h"

#include <dlfcn.h>

#include <cstring>

namespace vor::scene {

const ExportSpec kExportSpecs[kExportCount] = {
#define VOR_SCENE_SPEC(name, args, result) {#name, args, result},
    VOR_SCENE_EXPORTS(VOR_SCENE_SPEC)
#undef VOR_SCENE_SPEC
};

namespace {

uint32_t U(uint32_t w) {
    return w;
}
int32_t I(uint32_t w) {
    int32_t v;
    std::memcpy(&v, &w, sizeof v);
    return v;
}
float F(uint32_t w) {
    float v;
    std::memcpy(&v, &w, sizeof v);
    return v;
}

// Calls fn as a function of exactly the argument types given, returning void or int32_t.
template <class... A> int32_t CallTyped(void *fn, bool returnsValue, A... args) {
    if (returnsValue)
        return reinterpret_cast<int32_t (*)(A...)>(fn)(args...);
    reinterpret_cast<void (*)(A...)>(fn)(args...);
    return 0;
}

} // namespace

int FindExport(const std::string &name) {
    for (int i = 0; i < kExportCount; ++i) {
        if (name == kExportSpecs[i].name)
            return i;
    }
    return -1;
}

int WordCount(ExportId id) {
    int n = 0;
    for (const char *a = kExportSpecs[id].args; *a; ++a) {
        if (*a == 'u' || *a == 'i' || *a == 'f')
            ++n;
    }
    return n;
}

bool LoadModule(const std::string &path, Module *module, std::string *error) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        *error = "cannot load module " + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    std::string missing;
    int missingCount = 0;
    for (int i = 0; i < kExportCount; ++i) {
        dlerror();
        void *fn = dlsym(handle, kExportSpecs[i].name);
        if (!fn) {
            missing += (missingCount ? ", " : "") + std::string(kExportSpecs[i].name);
            ++missingCount;
        }
        module->functions[i] = fn;
    }
    if (missingCount) {
        dlclose(handle);
        *error = "module " + path +
                 (missingCount == 1 ? " lacks the export " : " lacks the exports ") + missing;
        return false;
    }
    module->handle = handle;
    return true;
}

void UnloadModule(Module *module) {
    if (module->handle)
        dlclose(module->handle);
    *module = Module();
}

int32_t InvokeExport(const Module &module, ExportId id, const uint32_t *w, const void *block,
                     ErrorHandlerFn handler, void *user) {
    void *fn = module.functions[id];
    const std::string args = kExportSpecs[id].args;
    const bool r = kExportSpecs[id].result != 'v';
    // One case per distinct prototype of the export list.
    if (args.empty())
        return CallTyped(fn, r);
    if (args == "i")
        return CallTyped(fn, r, I(w[0]));
    if (args == "u")
        return CallTyped(fn, r, U(w[0]));
    if (args == "uu")
        return CallTyped(fn, r, U(w[0]), U(w[1]));
    if (args == "ui")
        return CallTyped(fn, r, U(w[0]), I(w[1]));
    if (args == "uui")
        return CallTyped(fn, r, U(w[0]), U(w[1]), I(w[2]));
    if (args == "uuii")
        return CallTyped(fn, r, U(w[0]), U(w[1]), I(w[2]), I(w[3]));
    if (args == "uuuuu")
        return CallTyped(fn, r, U(w[0]), U(w[1]), U(w[2]), U(w[3]), U(w[4]));
    if (args == "uf")
        return CallTyped(fn, r, U(w[0]), F(w[1]));
    if (args == "ufff")
        return CallTyped(fn, r, U(w[0]), F(w[1]), F(w[2]), F(w[3]));
    if (args == "fff")
        return CallTyped(fn, r, F(w[0]), F(w[1]), F(w[2]));
    if (args == "ufffffffff")
        return CallTyped(fn, r, U(w[0]), F(w[1]), F(w[2]), F(w[3]), F(w[4]), F(w[5]), F(w[6]),
                         F(w[7]), F(w[8]), F(w[9]));
    if (args == "uiffffff")
        return CallTyped(fn, r, U(w[0]), I(w[1]), F(w[2]), F(w[3]), F(w[4]), F(w[5]), F(w[6]),
                         F(w[7]));
    if (args == "iiffffff")
        return CallTyped(fn, r, I(w[0]), I(w[1]), F(w[2]), F(w[3]), F(w[4]), F(w[5]), F(w[6]),
                         F(w[7]));
    if (args == "ub")
        return CallTyped(fn, r, U(w[0]), block);
    if (args == "h")
        return CallTyped(fn, r, handler, user);
    return 0;
}

} // namespace vor::scene
