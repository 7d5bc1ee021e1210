// What the text work of a patch run costs, next to memcpy of the same number of bytes.
// Sizes are in bytes; the figures to compare are each benchmark's time for the same size.

#include "bench/script_generator.h"
#include "engine/patch_rules.h"
#include "engine/script_files.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
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

// A script of the given size in a file on the machine's disk, written once.
std::map<std::size_t, fs::path> written;

const fs::path& scriptFile(std::size_t size) {
    auto found = written.find(size);
    if (found == written.end()) {
        const fs::path path = benchFolder() / ("morvane-bench-" + std::to_string(size) + ".mrc");
        const std::string& text = script(size);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        found = written.emplace(size, path).first;
    }
    return found->second;
}

std::string readScriptText(const fs::path& path) {
    return engine::scriptTextFromBytes(engine::ScriptFile(path).read());
}

// The text is read outside the timing, as a run reads it, so that the rules get the text in the
// buffer a run hands them.
template <typename Patch> void timePatch(benchmark::State& state, Patch patch) {
    const fs::path& path = scriptFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::string text = readScriptText(path);
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
    const fs::path& path = scriptFile(static_cast<std::size_t>(state.range(0)));
    // A folder of the log's own, as the program has it: the log refuses one others may write in.
    const fs::path logFolder = benchFolder() / "morvane-bench-log";
    const fs::path logPath = logFolder / "morvane-bench-read.log";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(logPath);
        state.ResumeTiming();
        engine::LogFile log(logPath);
        std::string text = readScriptText(path);
        log.append(text);
        benchmark::DoNotOptimize(text.data());
        state.PauseTiming();
        text = {};
        state.ResumeTiming();
    }
    fs::remove_all(logFolder);
    setBytes(state);
}

// The same reading and log copy with no engine code: read() into fresh memory given in large
// pages, write() of it to a new log. What BM_ReadScriptWithLogCopy cannot go below on this
// machine, since a run's text needs memory it did not have before.
void BM_ReadFloor(benchmark::State& state) {
    const fs::path& path = scriptFile(static_cast<std::size_t>(state.range(0)));
    const fs::path logPath = benchFolder() / "morvane-bench-floor.log";
    const auto size = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(logPath);
        state.ResumeTiming();
        void* memory =
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ::madvise(memory, size, MADV_HUGEPAGE);
        const int in = ::open(path.c_str(), O_RDONLY);
        std::size_t used = 0;
        for (ssize_t got = 1; got > 0 && used < size; used += static_cast<std::size_t>(got))
            got = ::read(in, static_cast<char*>(memory) + used, size - used);
        ::close(in);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        benchmark::DoNotOptimize(::write(log, memory, used));
        ::close(log);
        state.PauseTiming();
        ::munmap(memory, size);
        state.ResumeTiming();
    }
    fs::remove(logPath);
    setBytes(state);
}

// What the kernel alone charges for the log copy: the bytes written to a new file with one call,
// no engine code in between.
void BM_LogWriteFloor(benchmark::State& state) {
    const std::string& text = script(static_cast<std::size_t>(state.range(0)));
    const fs::path logPath = benchFolder() / "morvane-bench-floor.log";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(logPath);
        state.ResumeTiming();
        std::FILE* log = std::fopen(logPath.c_str(), "ab");
        std::fwrite(text.data(), 1, text.size(), log);
        std::fclose(log);
    }
    fs::remove(logPath);
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
BENCHMARK(BM_LogWriteFloor)->MORVANE_SIZES;
BENCHMARK(BM_ReadFloor)->MORVANE_SIZES;

// The rules' cost per byte from 16 MiB to 1 GiB: it should not grow with the size.
BENCHMARK(BM_CategoryPatch)
    ->Name("BM_CategoryPatchScaling")
    ->RangeMultiplier(4)
    ->Range(16 * MiB, 1024 * MiB)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char* argv[]) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [size, path] : written)
        fs::remove(path);
    return 0;
}
