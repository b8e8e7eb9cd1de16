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
#if defined(__SANITIZE_ADDRESS__)
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

} // namespace
