// A run's layouts are each module's, read at its turn: what the model holds at the end must be
// what reading each module at once gives, in module order (layouts, their sources, the debug
// problems), also for big files loaded over the one before, archives, damaged debug
// information and a run that stops. Reading them ahead of the run, on another thread or
// later, must keep this.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "engine/diagnostics.h"
#include "engine/elf_reader.h"
#include "engine/input_stream.h"
#include "engine/run.h"
#include "engine/run_context.h"
#include "engine_harness.h"
#include "scratch_dir.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const fs::path kDwarfData = fs::path(QUORV_TEST_DATA_DIR) / "dwarf";

Bytes bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Where an ELF object holds a debug section, as the ELF reader finds it.
std::span<const std::uint8_t> debug_section(const Bytes& object, dwarf::SectionId id) {
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    MemoryStream stream(object);
    const FileEntry entry{"object.o", "object.o", 0};
    ElfWorkingSet work;
    work.read_debug = true;
    EXPECT_EQ(read_elf_module(diagnostics, stream, entry, 0, object.size(), work), 0);
    return work.debug.sections[id].bytes;
}

// The byte at the given place of the section, in the object's own bytes.
std::uint8_t& byte_of(Bytes& object, std::span<const std::uint8_t> section, std::size_t at) {
    return object[static_cast<std::size_t>(section.data() - object.data()) + at];
}

// Every layout of every block and every debug problem, with the module each is of.
std::vector<std::string> layouts_in(const AnalysisModel& model) {
    std::vector<std::string> out;
    for (const CommonBlock& block : model.block_list()) {
        for (const ModuleLayout& l : model.layouts_of(block)) {
            std::string line = std::string(block.name) + " " + l.file->full_path + " " + l.source_file + ":" +
                               std::to_string(l.source_line) + " " + l.layout->block + " " + l.layout->symbol;
            for (const dwarf::Member& m : l.layout->members)
                line += " " + m.name + "@" + std::to_string(m.offset) + ":" + std::to_string(m.size) + ":" + m.type;
            out.push_back(line);
        }
    }
    for (const DebugProblem& p : model.debug_problems()) out.push_back("problem " + p.file->full_path + " " + p.reason);
    return out;
}

// The entries read one by one, each through a stream of its own rather than the run's loading.
std::vector<std::string> read_at_once(const std::vector<const FileEntry*>& entries, std::size_t& pooled) {
    AnalysisModel model;
    model.keep_layouts(true);
    CollectingSink sink;
    {
        RunContext run(sink, model);
        for (const FileEntry* entry : entries) {
            std::FILE* file = std::fopen(entry->full_path.c_str(), "rb");
            if (file == nullptr) break;  // where the run stops
            FileStream stream(file);
            if (analyze_input(stream, *entry, run) == 1) break;
        }
    }
    model.put_in_order();
    pooled = model.layout_pool().size();
    return layouts_in(model);
}

class RunLayoutsTest : public test::ScratchDirTest {};

TEST_F(RunLayoutsTest, ARunGivesWhatEachModuleGivesReadAtOnce) {
    std::vector<fs::path> objects;
    for (const char* producer : {"gf64", "gf32", "mingw32", "mingw64", "ppc32", "s390x", "flang"})
        for (const auto& e : fs::directory_iterator(kDwarfData / producer)) objects.push_back(e.path());
    std::sort(objects.begin(), objects.end());
    ASSERT_GE(objects.size(), 40u);

    // Debug information that cannot be read: its unit of a DWARF version that does not exist.
    // Its symbols still count; its layouts give way to a debug problem.
    Bytes damaged = bytes_of(kDwarfData / "gf64" / "twoviews.o");
    const auto info = debug_section(damaged, dwarf::kInfo);
    ASSERT_GT(info.size(), 4u);
    byte_of(damaged, info, 4) = 99;
    write(dir_ / "damaged.o", damaged);
    // A compressed .debug_info whose checksum does not hold.
    Bytes bad_sum = bytes_of(kDwarfData / "gf64" / "chars_gz.o");
    const auto packed = debug_section(bad_sum, dwarf::kInfo);
    ASSERT_FALSE(packed.empty());
    byte_of(bad_sum, packed, packed.size() - 1) ^= 0x5A;
    write(dir_ / "bad_sum.o", bad_sum);

    // An archive of -g members, read member by member.
    std::vector<test::Member> members;
    for (const char* name : {"overlay_a.o", "overlay_b.o", "prefix_a.o", "prefix_b.o", "chars_gz.o"})
        members.push_back({name, bytes_of(kDwarfData / "gf64" / name)});
    members.push_back({"padding.o", Bytes(std::size_t{96} << 10, 0)});
    write(dir_ / "members.a", test::make_gnu_archive(members));

    // Files past what the loading thread loads ahead: the run loads each into the one buffer
    // it keeps, over the module before. Bytes past the sections change nothing in an object.
    std::vector<fs::path> paths;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        Bytes padded = bytes_of(objects[k]);
        padded.resize(padded.size() + (std::size_t{96} << 10));
        paths.push_back(dir_ / (objects[k].parent_path().filename().string() + "_" + objects[k].filename().string()));
        write(paths.back(), k % 2 == 0 ? padded : bytes_of(objects[k]));
        if (k == 7) paths.push_back(dir_ / "damaged.o");
        if (k == 12) paths.push_back(dir_ / "bad_sum.o");
        if (k == 20) paths.push_back(dir_ / "members.a");
        if (k == 21) paths.push_back(dir_ / "members.a");
    }
    // The same files again: every layout the run has already.
    paths.insert(paths.end(), paths.begin(), paths.begin() + 10);

    struct Case {
        const char* what;
        std::size_t missing_at;  // a file that cannot be opened stops the run there
    };
    for (const Case& c : {Case{"whole run", paths.size()}, Case{"stopped", 25}}) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<FileEntry>> owned;
        std::vector<const FileEntry*> entries;
        for (std::size_t k = 0; k < paths.size(); ++k) {
            const std::string path = k == c.missing_at ? (dir_ / "missing.o").string() : paths[k].string();
            owned.push_back(std::make_unique<FileEntry>(FileEntry{path, fs::path(path).filename().string(), 0}));
            entries.push_back(owned.back().get());
        }
        std::size_t pooled_at_once = 0;
        const std::vector<std::string> expected = read_at_once(entries, pooled_at_once);
        ASSERT_GT(expected.size(), 20u);
        EXPECT_GE(std::count_if(expected.begin(), expected.end(),
                                [](const std::string& s) { return s.starts_with("problem "); }),
                  2);

        AnalysisModel model;
        model.keep_layouts(true);
        CollectingSink sink;
        const RunOutcome outcome = run_analysis(entries, model, sink);
        EXPECT_EQ(outcome, c.missing_at < paths.size() ? RunOutcome::Stopped : RunOutcome::Completed);
        EXPECT_EQ(layouts_in(model), expected);
        EXPECT_EQ(model.layout_pool().size(), pooled_at_once);
    }
}

}  // namespace
}  // namespace quorv
