// Opening and saving big lists: N items with five search-and-replace rules each.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "core/prompter.h"
#include "core/settings/app_settings.h"
#include "model/list_document.h"
#include "model/list_file.h"

namespace {

class SilentPrompter : public kov::Prompter {
public:
    void Inform(const std::string&) override {}
    bool Ask(const std::string&, bool defaultAnswer) override { return defaultAnswer; }
};

// A program folder with one list "Main" of the given size, written once per size.
struct Fixture {
    explicit Fixture(int items) {
        char pattern[] = "/tmp/kov-list-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) abort();
        dir = pattern;
        settings.lists.push_back({"Main", dir + "/Main.ini", dir + "/Download/"});
        std::vector<kov::UrlItem> list;
        list.reserve(static_cast<std::size_t>(items));
        for (int i = 0; i < items; ++i) {
            kov::UrlItem item = kov::FreshItem();
            item.Name = "Item " + std::to_string(i);
            item.Url =
                "http://news.example.com/archive/%Y/%M/%D/page" + std::to_string(i) + ".html";
            item.Dest = dir + "/Download/{DD}/";
            item.ID = kov::MakeItemId(0xF0F);
            item.Referer = "http://news.example.com/";
            for (int r = 0; r < 5; ++r) {
                item.rules.push_back(
                    {"", "<div class=\"banner" + std::to_string(r) + "\">", "</div>", 3, 1, 1});
            }
            list.push_back(std::move(item));
        }
        std::vector<const kov::UrlItem*> pointers;
        for (const auto& item : list)
            pointers.push_back(&item);
        if (!kov::WriteListFile(dir + "/Main.ini", pointers, prompter)) abort();
    }
    ~Fixture() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::string dir;
    SilentPrompter prompter;
    kov::AppSettings settings;
};

void BM_LoadList(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    kov::ListDocument doc(f.settings, {f.dir + "/", "/", 0xF0F, nullptr}, f.prompter);
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.LoadList(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SaveList(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    kov::ListDocument doc(f.settings, {f.dir + "/", "/", 0xF0F, nullptr}, f.prompter);
    doc.LoadList(0);
    for (auto _ : state) {
        if (doc.SaveList(true, false) != 0) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_LoadList)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveList)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
