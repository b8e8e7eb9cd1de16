// Replays every seed of the export fuzzer's corpus through the same call decoder, against the
// static library: each file must run without a broken boundary promise, and the corpus as a whole
// must reach every export and make the error box report.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/call_decoder.h"

namespace {

struct Failures {
    std::string file;
    std::vector<std::string> whats;
};

void Record(const char *what, void *user) {
    Failures *f = static_cast<Failures *>(user);
    f->whats.push_back(f->file + ": " + what);
}

std::vector<std::string> CorpusFiles() {
    std::string dir = std::string(VOR_SOURCE_DIR) + "/checks/fuzz/corpus";
    std::vector<std::string> files;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return files;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        files.push_back(dir + "/" + e->d_name);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(FuzzCorpus, EverySeedReplaysWithoutABrokenPromise) {
    std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 30u) << "the checked-in seed corpus is missing";
    Failures failures;
    vorfuzz::CallDecoder decoder(Record, &failures);
    for (const std::string &file : files) {
        failures.file = file.substr(file.rfind('/') + 1);
        std::vector<uint8_t> data = ReadFile(file);
        decoder.Run(data.data(), data.size());
    }
    for (const std::string &what : failures.whats)
        ADD_FAILURE() << what;
    const vorfuzz::Stats &stats = decoder.stats();
    EXPECT_EQ(stats.violations, 0u);
    // The corpus is the fuzzer's starting point: it must reach every export and every composite.
    for (int op = 0; op < vorfuzz::kOpCount; ++op)
        EXPECT_GT(stats.ops[op], 0u) << "no seed reaches operation " << op;
    EXPECT_GT(stats.reports, 50u);
    EXPECT_GT(stats.passes, 20u);
    std::printf("[ corpus   ] %zu files, %llu calls, %llu reports, %llu passes\n", files.size(),
                static_cast<unsigned long long>(stats.calls),
                static_cast<unsigned long long>(stats.reports),
                static_cast<unsigned long long>(stats.passes));
}

TEST(FuzzCorpus, ReplayingTheCorpusTwiceGivesTheSameCounts) {
    // The decoder starts every input from a clean module, so a replay is repeatable.
    std::vector<std::string> files = CorpusFiles();
    ASSERT_FALSE(files.empty());
    vorfuzz::Stats first, second;
    for (vorfuzz::Stats *out : {&first, &second}) {
        Failures failures;
        vorfuzz::CallDecoder decoder(Record, &failures);
        for (const std::string &file : files) {
            std::vector<uint8_t> data = ReadFile(file);
            decoder.Run(data.data(), data.size());
        }
        *out = decoder.stats();
    }
    EXPECT_EQ(first.calls, second.calls);
    EXPECT_EQ(first.reports, second.reports);
    EXPECT_EQ(first.passes, second.passes);
}
