// Scanning preset folders: the cost of a whole tree, and how long a scan
// takes when the tree is larger than its time budget allows. The product's
// budget is 2500 ms; a tree that big would need some 10^5 folders on a fast
// disk, so the budgeted runs give the same scan smaller budgets: the
// mechanism is the same, and the result to read is "elapsed" next to
// "budget_ms" (plus the listing of the folder the budget ran out in).
#include "persistence/PresetManager.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// 40 branches, each a chain 30 folders deep with three side folders at
// every level; two presets and a stray file in every folder: 4840 folders,
// 9680 presets.
class Tree {
public:
    Tree()
    {
        std::string pattern = (fs::temp_directory_path() / "ostrand-scan-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        for (int b = 0; b < 40; ++b) {
            fs::path folder = root / ("Branch " + std::to_string(b));
            for (int depth = 0; depth < 30; ++depth) {
                fill(folder);
                for (int s = 0; s < 3; ++s)
                    fill(folder / ("side " + std::to_string(s)));
                folder /= "deeper";
            }
        }
    }
    ~Tree()
    {
        std::error_code error;
        fs::remove_all(root, error);
    }
    std::string path() const { return root.string(); }
    int folders = 0;

private:
    void fill(const fs::path& folder)
    {
        fs::create_directories(folder);
        ++folders;
        for (const char* name : {"Bright Lead.mvp", "dark pad.mvp", "notes.txt"})
            std::ofstream(folder / name) << "x";
    }
    fs::path root;
};

const Tree& tree()
{
    static const Tree instance;
    return instance;
}

int countFolders(const PresetFolder& f)
{
    int n = 1;
    for (const auto& child : f.getChildren())
        n += countFolders(*child);
    return n;
}

void scanWholeTree(benchmark::State& state)
{
    const Tree& t = tree();
    PresetManager manager(".mvp");
    for (auto _ : state)
        manager.setPath(t.path());
    state.counters["folders"] = countFolders(manager);
    state.counters["presets"] = static_cast<double>(manager.getFlatList().size());
    state.counters["folders_per_s"] =
        benchmark::Counter(countFolders(manager), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(scanWholeTree)->Unit(benchmark::kMillisecond);

void scanOverBudget(benchmark::State& state)
{
    const Tree& t = tree();
    PresetFolder folder;
    const std::int64_t budget = state.range(0);
    double slowest = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        folder.scan(t.path(), ".mvp", budget);
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        slowest = std::max(slowest, elapsed.count());
    }
    state.counters["budget_ms"] = static_cast<double>(budget);
    state.counters["slowest_ms"] = slowest;
    state.counters["visited"] = countFolders(folder);
    state.counters["of_folders"] = t.folders;
}
BENCHMARK(scanOverBudget)->Arg(2)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

} // namespace
