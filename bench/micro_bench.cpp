// Micro-benchmarks of the engine's hot paths: recording names into the model, reading one
// object module, the overlap checks, and the archive walk's passing over linker names.
//
// The record benchmarks report seconds per record ("per_record"): recording N distinct
// block names and N distinct procedure names, then the first walk in name order (which
// sorts). Their per-record time must stay flat from 10^4 to 10^6 names.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "coff_builder.h"
#include "engine/diagnostics.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/model_walks.h"
#include "engine/object_reader.h"
#include "engine/overlap_sweep.h"
#include "engine/recorder.h"
#include "engine/run.h"

namespace {

using namespace quorv;

// 16-byte names like the compilers' (15 characters and the trailing underscore), spread
// over the byte order.
std::vector<std::string> distinct_names(char kind, std::size_t n, std::uint64_t seed) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 rng(seed);
    std::vector<std::string> names(n, std::string(16, '_'));
    for (std::size_t k = 0; k < n; ++k) {
        std::string& s = names[k];
        s[0] = kind;
        for (int c = 1; c <= 5; ++c) s[c] = kAlphabet[rng() % 26];
        std::size_t v = k;
        for (int c = 14; c >= 6; --c, v /= 36) s[c] = kAlphabet[v % 36];
    }
    return names;
}

void record_counter(benchmark::State& state, double records) {
    state.counters["per_record"] =
        benchmark::Counter(records, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RecordDistinctNames(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto blocks = distinct_names('c', n, 1);
    const auto procedures = distinct_names('p', n, 2);
    const FileEntry file{"bench\\m.obj", "m.obj", 0};
    for (auto _ : state) {
        auto model = std::make_unique<AnalysisModel>();
        model->current_object = ObjectRef{&file, 0, false};
        for (std::size_t k = 0; k < n; ++k) {
            model->record_common_declaration(blocks[k], 64);
            model->record_procedure(procedures[k]);
        }
        std::size_t problems = 0;
        for_each_block_with_problem(*model, [&](const CommonBlock&, bool p) { problems += p; });
        benchmark::DoNotOptimize(problems);
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    record_counter(state, 2.0 * static_cast<double>(n));
}
BENCHMARK(BM_RecordDistinctNames)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Declarations of N/8 blocks from N modules' worth of records: the path of a name met again.
void BM_RecordRepeatedBlocks(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto blocks = distinct_names('c', n / 8, 3);
    std::vector<FileEntry> files(64);
    for (std::size_t f = 0; f < files.size(); ++f) files[f].full_path = "bench\\m" + std::to_string(1000 + f) + ".obj";
    std::mt19937_64 rng(4);
    std::vector<std::uint32_t> picks(n);
    for (auto& p : picks) p = static_cast<std::uint32_t>(rng() % blocks.size());
    for (auto _ : state) {
        auto model = std::make_unique<AnalysisModel>();
        for (std::size_t k = 0; k < n; ++k) {
            model->current_object = ObjectRef{&files[k * files.size() / n], 0, false};
            model->record_common_declaration(blocks[picks[k]], 64 + 8 * (picks[k] % 20 == 0 && k % 2));
        }
        model->put_in_order();
        benchmark::DoNotOptimize(model->block_list().size());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    record_counter(state, static_cast<double>(n));
}
BENCHMARK(BM_RecordRepeatedBlocks)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One object of the corpus shape: 40% COMMON, 20% procedures, 30% references, 10% data.
test::Bytes corpus_object(std::size_t symbols) {
    test::ObjectSpec plan;
    plan.sections.resize(3);
    plan.sections[0] = test::Section{640, 200, 0, 0, 0, 0};
    plan.sections[1] = test::Section{80, 840, 0, 0, 0, 0};
    const auto blocks = distinct_names('c', symbols, 5);
    const auto procs = distinct_names('p', symbols, 6);
    for (std::size_t k = 0; k < symbols; ++k) {
        const std::size_t share = k * 10 / symbols;
        if (share < 4)
            plan.symbols.push_back(test::common(blocks[k], 64));
        else if (share < 6)
            plan.symbols.push_back(test::function(procs[k]));
        else if (share < 9)
            plan.symbols.push_back(test::Symbol{procs[k], 0, 0, 0x20, 2});
        else
            plan.symbols.push_back(test::defined_data(blocks[k - 9 * symbols / 10], 2));
    }
    return make_object(plan);
}

void BM_ReadObjectModule(benchmark::State& state) {
    const auto symbols = static_cast<std::size_t>(state.range(0));
    const test::Bytes bytes = corpus_object(symbols);
    const FileEntry entry{"bench\\m.obj", "m.obj", 0};
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    ModuleWorkingSet work;
    auto model = std::make_unique<AnalysisModel>();
    std::size_t read = 0;
    for (auto _ : state) {
        // A fresh model now and then, so the model grows as in a run but stays bounded.
        if (++read % 256 == 0) {
            state.PauseTiming();
            model = std::make_unique<AnalysisModel>();
            state.ResumeTiming();
        }
        MemoryStream stream(bytes);
        benchmark::DoNotOptimize(read_object_module(diagnostics, stream, entry, 0, work));
        benchmark::DoNotOptimize(Recorder(*model).record_module(entry, work.facts));
    }
    record_counter(state, static_cast<double>(symbols));
}
BENCHMARK(BM_ReadObjectModule)->Arg(50)->Arg(200)->Arg(2000);

// n sections, each with raw data and relocations of its own: no overlap at all.
std::vector<SectionRegions> disjoint_sections(std::uint32_t n) {
    std::vector<SectionRegions> sections(n);
    for (std::uint32_t s = 0; s < n; ++s) sections[s] = {{4096 + 64 * s, 48}, {4096 + 64 * s + 48, 10}, {0, 0}};
    return sections;
}

void BM_OverlapSweep(benchmark::State& state) {
    const auto sections = disjoint_sections(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(find_section_overlaps(sections).size());
}
BENCHMARK(BM_OverlapSweep)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond);

// The nine tests for every pair, for comparison; its cost grows with the square of n.
void BM_OverlapEveryPair(benchmark::State& state) {
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    const auto sections = disjoint_sections(static_cast<std::uint32_t>(state.range(0)));
    const auto n = static_cast<std::uint32_t>(sections.size());
    for (auto _ : state) {
        for (std::uint32_t i = 1; i < n; ++i)
            for (std::uint32_t j = i + 1; j <= n; ++j) check_section_pair(diagnostics, sections, i, j);
    }
}
BENCHMARK(BM_OverlapEveryPair)->Arg(2000)->Arg(6000)->Unit(benchmark::kMillisecond);

// The archive walk over a library whose first linker member names S symbols and which has
// no members: the time goes into passing over the names.
void BM_PassOverLinkerNames(benchmark::State& state) {
    const auto names = distinct_names('p', static_cast<std::size_t>(state.range(0)), 7);
    const test::Bytes library = test::make_archive({}, names);
    const FileEntry entry{"bench\\l.lib", "l.lib", 0};
    CollectingSink sink;
    AnalysisModel model;
    RunContext run(sink, model);
    for (auto _ : state) {
        MemoryStream stream(library);
        benchmark::DoNotOptimize(analyze_input(stream, entry, run));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * library.size()));
}
BENCHMARK(BM_PassOverLinkerNames)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
