// Every prefix of every real object and library: read safely, in bounded memory, and never
// silently when the file ends before what its own headers declare.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <set>

#include "hostile_inputs.h"

namespace quorv::hostile {
namespace {

constexpr std::size_t kEveryPrefixUpTo = 64 * 1024;
constexpr int kRandomCuts = 2000;

// The start of every symbol record of every module the file's headers name.
void add_symbol_boundaries(const Bytes& b, std::set<std::size_t>& cuts) {
    std::vector<std::size_t> bases{0};
    if (is_archive(b)) {
        bases.clear();
        if (const std::size_t count_at = member_count_position(b))
            for (std::size_t k = 0; k < get_u32(b, count_at) && count_at + 8 + 4 * k <= b.size(); ++k)
                bases.push_back(get_u32(b, count_at + 4 + 4 * k) + std::size_t{60});
    }
    for (const std::size_t base : bases) {
        const std::uint64_t first = base + std::uint64_t{get_u32(b, base + 8)};
        for (std::uint64_t at = first; at <= b.size() && at < first + 18ull * get_u32(b, base + 12) + 18; at += 18)
            cuts.insert(static_cast<std::size_t>(at));
    }
}

std::vector<std::size_t> cut_lengths(const Bytes& whole) {
    std::vector<std::size_t> out;
    if (whole.size() <= kEveryPrefixUpTo) {
        for (std::size_t n = 0; n < whole.size(); ++n) out.push_back(n);
        return out;
    }
    std::set<std::size_t> cuts;
    add_symbol_boundaries(whole, cuts);
    std::mt19937 random(static_cast<std::uint32_t>(whole.size()));
    std::uniform_int_distribution<std::size_t> anywhere(0, whole.size() - 1);
    for (int k = 0; k < kRandomCuts; ++k) cuts.insert(anywhere(random));
    for (const std::size_t n : cuts)
        if (n < whole.size()) out.push_back(n);
    return out;
}

void sweep_prefixes(const Bytes& whole) {
    const std::uint64_t declared = declared_extent(whole);
    const auto lengths = cut_lengths(whole);
    for (const std::size_t n : lengths) {
        const Examination e = examine(std::span(whole.data(), n));
        EXPECT_TRUE(examined_safely(e, n)) << "prefix of " << n << " bytes";
        // An archive walked member by member may end after any whole member.
        if (n < declared && !ends_between_members(whole, n)) {
            EXPECT_GT(e.messages, 0u) << "prefix of " << n << " bytes read silently";
        }
    }
    SUCCEED() << lengths.size() << " prefixes";
}

class EveryRealFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(EveryRealFile, EveryPrefixReadsSafely) {
    sweep_prefixes(file_bytes(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Truncation, EveryRealFile, ::testing::ValuesIn(real_files()),
                         [](const auto& info) { return test_name_of(info.param); });

TEST(Truncation, RealFilesAreThere) {
    EXPECT_GE(real_files().size(), 35u) << QUORV_CORPUS_DIR;
}

// An object larger than the whole-sweep limit: cut at every symbol boundary and at random.
TEST(Truncation, LargeObjectAtSymbolBoundariesAndRandomCuts) {
    test::ObjectSpec plan;
    plan.sections.resize(3);
    for (int k = 0; k < 1200; ++k) {
        const std::string name = "_a_name_of_forty_bytes_or_so_number_" + std::to_string(k);
        plan.symbols.push_back(k % 3 == 0 ? test::function(name) : test::common(name, 8u * (k % 7)));
    }
    const Bytes whole = make_object(plan);
    ASSERT_GT(whole.size(), kEveryPrefixUpTo);
    const auto lengths = cut_lengths(whole);
    EXPECT_GT(lengths.size(), 1200u + kRandomCuts / 2);
    sweep_prefixes(whole);
}

// The size the stream reports only sizes buffers: a file read through stdio, the same bytes
// in memory, and a run that loads the file whole give the same messages and the same model,
// whole or cut.
std::string model_digest(const AnalysisModel& model) {
    std::string out;
    for (const CommonBlock& b : model.block_list()) {
        out += "B " + std::string(b.name) + (b.sizes_agree ? "" : " !");
        for (const ObjectRef& d : b.declarations)
            out += " " + std::to_string(d.size) + (d.initialized ? "i " : " ") + d.file->full_path;
        out += "\n";
    }
    for (const ProcedureEntry& p : model.procedure_list())
        out += "P " + std::string(p.name) + " " + p.defining_object.file->full_path + "\n";
    return out;
}

struct Read {
    std::vector<std::string> messages;
    std::string model;
};

// reading(run) reads into a model through a run context; run_analysis is given the sink.
template <class Reading>
Read read_with(Reading reading) {
    AnalysisModel model;
    CollectingSink sink;
    reading(model, sink);
    model.put_in_order();
    return {std::move(sink.messages), model_digest(model)};
}

TEST(Truncation, FileAndMemoryStreamsAgree) {
    const fs::path path = fs::temp_directory_path() / ("quorv_hostile_cut_" + std::to_string(::getpid()));
    for (const fs::path& real : real_files()) {
        const Bytes whole = file_bytes(real);
        std::set<std::size_t> lengths{whole.size(), whole.size() - 1};
        for (std::size_t n = 0; n < whole.size(); n += std::max<std::size_t>(1, whole.size() / 7)) lengths.insert(n);
        for (const std::size_t n : lengths) {
            {
                std::ofstream out(path, std::ios::binary);
                out.write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(n));
            }
            const FileEntry entry{path.string(), "cut.obj", 0};
            const Read memory = read_with([&](AnalysisModel& m, CollectingSink& sink) {
                RunContext run(sink, m);
                MemoryStream stream(std::span(whole.data(), n));
                static_cast<void>(analyze_input(stream, entry, run));
            });
            const Read stdio = read_with([&](AnalysisModel& m, CollectingSink& sink) {
                RunContext run(sink, m);
                FileStream stream(std::fopen(path.c_str(), "rb"));
                static_cast<void>(analyze_input(stream, entry, run));
            });
            const Read run =
                read_with([&](AnalysisModel& m, CollectingSink& sink) { run_analysis({&entry}, m, sink); });
            EXPECT_EQ(stdio.messages, memory.messages) << real.filename() << " cut at " << n;
            EXPECT_EQ(stdio.model, memory.model) << real.filename() << " cut at " << n;
            EXPECT_EQ(run.messages, memory.messages) << real.filename() << " cut at " << n;
            EXPECT_EQ(run.model, memory.model) << real.filename() << " cut at " << n;
        }
    }
    fs::remove(path);
}

// Thousands of names that share their first bytes, differ only late, or are prefixes of one
// another: the model's orders must still be the byte order of the names.
TEST(Truncation, ManyNamesWithSharedPrefixesKeepTheirOrder) {
    test::ObjectSpec plan;
    plan.sections.resize(1);
    for (int k = 0; k < 3000; ++k) {
        const std::string tail(static_cast<std::size_t>(k % 5), static_cast<char>('z' - k % 3));
        const std::string shared = k % 2 ? "_commonprefix_" : "_common";
        const std::string name = shared + std::to_string(k * 7919 % 3001) + tail;
        plan.symbols.push_back(k % 4 == 0 ? test::function(name)
                                          : test::common(name, static_cast<std::uint32_t>(k % 3)));
        if (k % 97 == 0) plan.symbols.push_back(test::defined_data(name));
    }
    const Bytes bytes = make_object(plan);
    EXPECT_TRUE(examined_safely(examine(bytes), bytes.size()));
}

}  // namespace
}  // namespace quorv::hostile
