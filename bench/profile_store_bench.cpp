// Loading, reading and writing large INI files: S sections of 40 keys each.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/prompter.h"
#include "core/settings/profile_store.h"

namespace {

constexpr int kKeysPerSection = 40;

class SilentPrompter : public kov::Prompter {
public:
    void Inform(const std::string&) override {}
    bool Ask(const std::string&, bool defaultAnswer) override { return defaultAnswer; }
};

// One generated file per section count, kept for the whole run and removed at exit.
class BenchFiles {
public:
    ~BenchFiles() {
        std::error_code ignored;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& Get(int sections) {
        auto it = m_files.find(sections);
        if (it != m_files.end()) return it->second;
        if (m_dir.empty()) {
            char pattern[] = "/tmp/kov-bench-XXXXXX";
            if (mkdtemp(pattern) == nullptr) abort();
            m_dir = pattern;
        }
        std::string path = m_dir + "/s" + std::to_string(sections) + ".ini";
        std::ofstream out(path, std::ios::binary);
        unsigned seed = 1;
        for (int s = 0; s < sections; ++s) {
            out << "[Item " << s << "]\n";
            if (s % 10 == 0) out << "; generated item " << s << "\n";
            for (int k = 0; k < kKeysPerSection; ++k) {
                seed = seed * 1103515245u + 12345u;
                const int length = 20 + static_cast<int>((seed >> 16) % 41);
                std::string value = "http://example.org/path/" + std::to_string(s) + "/";
                value.resize(static_cast<std::size_t>(length), 'a' + static_cast<char>(k % 26));
                out << "key" << k << "=" << value << "\n";
            }
        }
        return m_files.emplace(sections, path).first->second;
    }

private:
    std::string m_dir;
    std::map<int, std::string> m_files;
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

std::vector<std::string> Names(const char* prefix, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(prefix + std::to_string(i));
    return names;
}

void BM_Open(benchmark::State& state) {
    const std::string& path = Files().Get(static_cast<int>(state.range(0)));
    SilentPrompter prompter;
    for (auto _ : state) {
        kov::ProfileStore store(&prompter);
        benchmark::DoNotOptimize(store.Open(path));
    }
}

void BM_ReadAll(benchmark::State& state) {
    const int sections = static_cast<int>(state.range(0));
    const std::string& path = Files().Get(sections);
    SilentPrompter prompter;
    kov::ProfileStore store(&prompter);
    if (!store.Open(path)) state.SkipWithError("Open failed");
    const auto sectionNames = Names("Item ", sections);
    const auto keys = Names("key", kKeysPerSection);
    for (auto _ : state) {
        std::size_t total = 0;
        for (const auto& s : sectionNames)
            for (const auto& k : keys)
                total += store.GetString(s, k).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * sections * kKeysPerSection);
}

void BM_Flush(benchmark::State& state) {
    const std::string& source = Files().Get(static_cast<int>(state.range(0)));
    const std::string path = source + ".out";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    SilentPrompter prompter;
    kov::ProfileStore store(&prompter);
    if (!store.Open(path)) state.SkipWithError("Open failed");
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store.WriteInt("Item 0", "key0", ++round);
        state.ResumeTiming();
        if (!store.Flush()) state.SkipWithError("Flush failed");
    }
}

}  // namespace

BENCHMARK(BM_Open)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadAll)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Flush)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
