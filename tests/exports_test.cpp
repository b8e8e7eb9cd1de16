// The host boundary of the built module: exactly the host's exports are visible under their
// plain names, and the module works when loaded the way a host loads it (dlopen, dlsym) and
// frees everything it holds when unloaded.
#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace {

// Every export of the host boundary, nothing else: the functions the public header declares
// with VOR_API, the one list from which every other list of exports is checked or generated.
std::set<std::string> HostExports() {
    std::set<std::string> names;
    std::ifstream in(std::string(VOR_SOURCE_DIR) + "/include/vorcollide.h");
    const std::string call = " VOR_CALL ";
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find(call);
        const size_t open = line.find('(', at);
        if (line.rfind("VOR_API ", 0) == 0 && at != std::string::npos &&
            open != std::string::npos) {
            names.insert(line.substr(at + call.size(), open - at - call.size()));
        }
    }
    return names;
}

// Names of the scene tool's export table: the first argument of every X(...) entry.
std::set<std::string> SceneToolExports() {
    std::set<std::string> names;
    std::ifstream in(std::string(VOR_SOURCE_DIR) + "/tools/scene/exports.h");
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find("X(");
        const size_t comma = line.find(',', at);
        if (at != std::string::npos && comma != std::string::npos) {
            names.insert(line.substr(at + 2, comma - at - 2));
        }
    }
    return names;
}

// Names of the module's defined dynamic code symbols (nm type T); any other defined dynamic
// symbol (data, weak or unique objects) goes to others.
std::set<std::string> ModuleCodeSymbols(std::set<std::string> *others) {
    std::set<std::string> names;
    std::string command = std::string("nm -D --defined-only '") + VOR_MODULE_PATH + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) {
            continue;
        }
        if (type == "T") {
            names.insert(name);
        } else {
            others->insert(type + " " + name);
        }
    }
    pclose(pipe);
    return names;
}

// Names under EXPORTS in a module-definition file; blank lines and ';' comments skipped.
std::set<std::string> NamesInDefFile(const std::string &path) {
    std::set<std::string> names;
    std::ifstream in(path);
    std::string line;
    bool inExports = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string word;
        if (!(fields >> word) || word[0] == ';' || word[0] == '#') {
            continue;
        }
        if (word == "EXPORTS") {
            inExports = true;
            continue;
        }
        if (inExports) {
            names.insert(word);
        }
    }
    return names;
}

TEST(ModuleExports, TheHostBoundaryListsFiftySixFunctions) {
    EXPECT_EQ(HostExports().size(), 56u);
}

TEST(ModuleExports, TheModuleExportsExactlyTheHostFunctions) {
    std::set<std::string> others;
    std::set<std::string> found = ModuleCodeSymbols(&others);
    ASSERT_FALSE(found.empty()) << "nm found no symbols in " << VOR_MODULE_PATH;
    EXPECT_TRUE(others.empty()) << "first other exported symbol: " << *others.begin();
    std::set<std::string> expected = HostExports();
    for (const std::string &name : expected) {
        EXPECT_EQ(found.count(name), 1u) << "missing export " << name;
    }
    for (const std::string &name : found) {
        EXPECT_EQ(expected.count(name), 1u) << "unexpected export " << name;
    }
}

TEST(ModuleExports, TheExportListsOfTheSourceTreeAgreeWithTheHostFunctions) {
    std::string root = VOR_SOURCE_DIR;
    EXPECT_EQ(NamesInDefFile(root + "/src/api/vorcollide.def"), HostExports());
    EXPECT_EQ(SceneToolExports(), HostExports());
}

// The module loaded as a host loads it; its state is separate from the static library's.
class LoadedModule : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }

  public:
    template <typename Function> Function Find(const char *name) {
        return reinterpret_cast<Function>(dlsym(handle, name));
    }
    void *handle = nullptr;
};

TEST_F(LoadedModule, EveryHostFunctionResolvesByItsPlainName) {
    for (const std::string &name : HostExports()) {
        EXPECT_NE(dlsym(handle, name.c_str()), nullptr) << name;
    }
}

TEST_F(LoadedModule, CommandsWorkThroughLookedUpAddresses) {
    auto setHandler = Find<decltype(&SetErrorHandlerVOR)>("SetErrorHandlerVOR");
    auto arm = Find<decltype(&StartCollisionDebugVOR)>("StartCollisionDebugVOR");
    auto newObject = Find<decltype(&NewCollObjVOR)>("NewCollObjVOR");
    auto activate = Find<decltype(&ActivateObjVOR)>("ActivateObjVOR");
    auto checkShape = Find<decltype(&CheckShapeVOR)>("CheckShapeVOR");
    auto setCollisions = Find<decltype(&SetCollisionsVOR)>("SetCollisionsVOR");
    auto reset = Find<decltype(&ResetCollisionStackVOR)>("ResetCollisionStackVOR");
    auto peek = Find<decltype(&PeekCollisionStackVOR)>("PeekCollisionStackVOR");
    auto stop = Find<decltype(&StopCollisionVOR)>("StopCollisionVOR");
    ASSERT_TRUE(setHandler && arm && newObject && activate && checkShape && setCollisions &&
                reset && peek && stop);

    ErrorLog log;
    setHandler(RecordError, &log);
    arm();
    newObject(0xFFFFFFFFu, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 4294967295");
    EXPECT_EQ(log.captions[0], "Collision Error");

    newObject(5, 7);
    newObject(9, 7);
    activate(5);
    activate(9);
    activate(5);
    setCollisions(3, 7, 2, 1, 1);
    EXPECT_EQ(checkShape(9, 2), 1);
    EXPECT_EQ(checkShape(9, 1), 0);
    reset();
    EXPECT_EQ(peek(), 9);
    EXPECT_EQ(peek(), 5);
    EXPECT_EQ(peek(), 0);
    stop();
    setHandler(nullptr, nullptr);
}

size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

TEST_F(LoadedModule, UnloadingTheModuleFreesEveryRecord) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator does not report through mallinfo2";
#endif
    auto newObject = Find<decltype(&NewCollObjVOR)>("NewCollObjVOR");
    auto addShape = Find<decltype(&AddObjShapeVOR)>("AddObjShapeVOR");
    auto activate = Find<decltype(&ActivateObjVOR)>("ActivateObjVOR");
    auto setCollisions = Find<decltype(&SetCollisionsVOR)>("SetCollisionsVOR");
    ASSERT_TRUE(newObject && addShape && activate && setCollisions);

    size_t loaded = HeapInUse();
    for (uint32_t n = 1; n <= 5000; n++) {
        newObject(n, n % 101);
        addShape(n, 1);
        addShape(n, 2);
        activate(n);
        setCollisions(n % 101, 0, 1, 1, 1);
    }
    size_t filled = HeapInUse();
    // Each object holds a body of several hundred bytes, two shapes and entries.
    ASSERT_GT(filled - loaded, size_t(5000) * 500);

    // The module's destructor stops the system; without it the records would stay allocated.
    ASSERT_EQ(dlclose(handle), 0);
    handle = nullptr;
    size_t unloaded = HeapInUse();
    EXPECT_LT(unloaded, loaded + (filled - loaded) / 100);
}


// A crowd of 288 (enough for the workers) falling on a floor of 3,200 triangles, through the
// loaded module on `workers` threads; answers every resolved coordinate's bits after the passes.
std::vector<int32_t> RunCrowdOnFloor(LoadedModule *m, int32_t workers, int passes) {
    auto setWorkers = m->Find<decltype(&SetWorkerCountVOR)>("SetWorkerCountVOR");
    auto newObject = m->Find<decltype(&NewCollObjVOR)>("NewCollObjVOR");
    auto addShape = m->Find<decltype(&AddObjShapeVOR)>("AddObjShapeVOR");
    auto activate = m->Find<decltype(&ActivateObjVOR)>("ActivateObjVOR");
    auto setCollisions = m->Find<decltype(&SetCollisionsVOR)>("SetCollisionsVOR");
    auto addTriangle = m->Find<decltype(&AddMeshTri)>("AddMeshTri");
    auto setPos = m->Find<decltype(&SetObjPosVOR)>("SetObjPosVOR");
    auto update = m->Find<decltype(&UpdateObjVOR)>("UpdateObjVOR");
    auto run = m->Find<decltype(&RunCollisionVOR)>("RunCollisionVOR");
    auto peekX = m->Find<decltype(&PeekObjXVOR)>("PeekObjXVOR");
    auto peekY = m->Find<decltype(&PeekObjYVOR)>("PeekObjYVOR");
    std::vector<int32_t> bits;
    if (!(setWorkers && newObject && addShape && activate && setCollisions && addTriangle &&
          setPos && update && run && peekX && peekY)) {
        ADD_FAILURE() << "an export is missing";
        return bits;
    }
    setWorkers(workers);
    constexpr uint32_t kFloor = 1000;
    newObject(kFloor, 2);
    addShape(kFloor, 2);
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 40; ++j) {
            const float x = static_cast<float>(i) - 20.0f, z = static_cast<float>(j) - 20.0f;
            const float y = 0.05f * static_cast<float>((i * 7 + j * 3) % 5);
            addTriangle(kFloor, x, y, z, x, y, z + 1.0f, x + 1.0f, y, z);
            addTriangle(kFloor, x + 1.0f, y, z, x, y, z + 1.0f, x + 1.0f, y, z + 1.0f);
        }
    }
    activate(kFloor);
    setCollisions(1, 2, 2, 3, 1);
    constexpr uint32_t kBodies = 288;
    for (uint32_t n = 1; n <= kBodies; ++n) {
        newObject(n, 1);
        addShape(n, 1);
        activate(n);
        setPos(static_cast<float>(n % 18) * 2.0f - 18.0f, 1.5f,
               static_cast<float>(n / 18) * 2.0f - 18.0f);
        update(n, 1);
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t n = 1; n <= kBodies; ++n) {
            setPos(vorFloatFromBits(peekX(n)) + 0.05f, vorFloatFromBits(peekY(n)) - 0.1f,
                   static_cast<float>(n / 18) * 2.0f - 18.0f);
            update(n, 0);
        }
        run();
    }
    for (uint32_t n = 1; n <= kBodies; ++n) {
        bits.push_back(peekX(n));
        bits.push_back(peekY(n));
    }
    return bits;
}

// Unloading with workers running, with or without a Stop first, neither hangs nor crashes, and a
// module loaded again works; the workers' answers are one thread's.
TEST_F(LoadedModule, UnloadsWithWorkersRunningWithOrWithoutAStop) {
    const std::vector<int32_t> one = RunCrowdOnFloor(this, 1, 20);
    ASSERT_EQ(dlclose(handle), 0);
    handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_EQ(RunCrowdOnFloor(this, 3, 20), one);
    // No Stop: the module's destructor ends the workers.
    ASSERT_EQ(dlclose(handle), 0);
    handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_EQ(RunCrowdOnFloor(this, 4, 20), one);
    auto stop = Find<decltype(&StopCollisionVOR)>("StopCollisionVOR");
    ASSERT_NE(stop, nullptr);
    stop();
    ASSERT_EQ(dlclose(handle), 0);
    handle = nullptr;
    // Only 1.5 units above a floor they fall onto: the passes must have met it.
    EXPECT_GT(vorFloatFromBits(one[1]), -0.5f);
}

} // namespace
