// What the text work of a patch run costs, next to memcpy of the same number of bytes.
// Sizes are in bytes; the figures to compare are each benchmark's time for the same size.

#include "patch_rules.h"
#include "script_files.h"
#include "script_generator.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t MiB = 1 << 20;

const std::string& script(std::size_t size) {
    static std::map<std::size_t, std::string> made;
    auto found = made.find(size);
    if (found == made.end())
        found = made.emplace(size, bench::generateScript(size)).first;
    return found->second;
}

// A folder on the machine's disk for the files the reading benchmark uses.
fs::path benchFolder() {
    const char* chosen = std::getenv("MORVANE_BENCH_DIR");
    return chosen ? fs::path(chosen) : fs::temp_directory_path();
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The floor: copying the bytes into memory that is already there.
void BM_Memcpy(benchmark::State& state) {
    const std::string& source = script(static_cast<std::size_t>(state.range(0)));
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

// Copying into fresh memory, as any result that does not fit its input's buffer must: the
// difference to BM_Memcpy is what the kernel charges for handing out the pages.
void BM_MemcpyFresh(benchmark::State& state) {
    const std::string& source = script(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const std::unique_ptr<char[]> target(new char[source.size()]);
        std::memcpy(target.get(), source.data(), source.size());
        benchmark::DoNotOptimize(target.get());
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

// The input is copied outside the timing, as the run hands its text over by moving it.
template <typename Patch> void timePatch(benchmark::State& state, Patch patch) {
    const std::string& source = script(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::string text = source;
        state.ResumeTiming();
        auto result = patch(std::move(text));
        benchmark::DoNotOptimize(result.text.data());
        state.PauseTiming();
        result = {};
        state.ResumeTiming();
    }
    setBytes(state);
}

void BM_CategoryPatch(benchmark::State& state) {
    timePatch(state, [](std::string text) { return engine::applyCategoryPatch(std::move(text)); });
}

void BM_VersionPatch(benchmark::State& state) {
    timePatch(state, [](std::string text) { return engine::applyVersionPatch(std::move(text)); });
}

// The rules applied one after another, each with its own pass: what a patch cost before the
// group was applied in one pass, and still costs where that one pass does not apply.
void BM_CategoryRuleByRule(benchmark::State& state) {
    timePatch(state, [](std::string text) {
        engine::RuleResult result{std::move(text), 0};
        for (const auto& rule : engine::categoryPatch)
            result.replacements += engine::applyRuleInPlace(result.text, rule);
        return result;
    });
}

// Reading the script into the script text and appending that text to the log, as a run does
// before anything else; the file is in the page cache, as it is after the user chose it. The
// flush to disk belongs to the whole run's figures, not to this one.
void BM_ReadScriptWithLogCopy(benchmark::State& state) {
    const std::string& source = script(static_cast<std::size_t>(state.range(0)));
    const fs::path scriptPath = benchFolder() / "morvane-bench-read.mrc";
    const fs::path logPath = benchFolder() / "morvane-bench-read.log";
    {
        std::ofstream out(scriptPath, std::ios::binary | std::ios::trunc);
        out.write(source.data(), static_cast<std::streamsize>(source.size()));
    }
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(logPath);
        state.ResumeTiming();
        engine::LogFile log(logPath);
        std::string text =
            engine::scriptTextFromBytes(engine::readFileBytes(scriptPath, "read the script"));
        log.append(text);
        benchmark::DoNotOptimize(text.data());
        state.PauseTiming();
        text = {};
        state.ResumeTiming();
    }
    fs::remove(logPath);
    fs::remove(scriptPath);
    setBytes(state);
}

// 16 MiB for the smoke test, 64 MiB for the targets.
#define MORVANE_SIZES Arg(16 * MiB)->Arg(64 * MiB)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_Memcpy)->MORVANE_SIZES;
BENCHMARK(BM_MemcpyFresh)->MORVANE_SIZES;
BENCHMARK(BM_CategoryPatch)->MORVANE_SIZES;
BENCHMARK(BM_CategoryRuleByRule)->MORVANE_SIZES;
BENCHMARK(BM_VersionPatch)->MORVANE_SIZES;
BENCHMARK(BM_ReadScriptWithLogCopy)->MORVANE_SIZES;

// The rules' cost per byte from 16 MiB to 1 GiB: it should not grow with the size.
BENCHMARK(BM_CategoryPatch)
    ->Name("BM_CategoryPatchScaling")
    ->RangeMultiplier(4)
    ->Range(16 * MiB, 1024 * MiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
