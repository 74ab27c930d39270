// The run over inputs: signatures, the archive walk, member names, stop and skip rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine_harness.h"
#include "scratch_dir.h"

namespace quorv {
namespace {

using test::Bytes;
using test::Messages;

const FileEntry kLib{"c:\\lib\\math.lib", "math.lib", 0};

Bytes object_declaring(const std::string& block, std::uint32_t size) {
    test::ObjectSpec plan;
    plan.symbols = {test::common(block, size)};
    return make_object(plan);
}

std::vector<std::string> declaring_files(const AnalysisModel& m) {
    std::vector<std::string> out;
    for (const CommonBlock& b : m.block_list())
        for (const ObjectRef& d : b.declarations)
            out.push_back(std::string(b.name) + " " + d.file->display_name + " | " + d.file->full_path);
    return out;
}

TEST(Signatures, ShortFilesAndExecutables) {
    const std::string not_object = "The file c:\\lib\\math.lib is not an object file.";
    struct Case {
        const char* what;
        Bytes bytes;
        int result;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {"empty",
         {},
         0,
         {"QUORV Internal: fread returned 0 bytes (2 expected). [math.lib]", "Error reading file signature\n"}},
        {"one byte",
         {'M'},
         0,
         {"QUORV Internal: fread returned 1 bytes (2 expected). [math.lib]", "Error reading file signature\n"}},
        {"MZ", {'M', 'Z', 0, 0}, 0, {not_object}},
        {"NE", {'N', 'E'}, 0, {not_object}},
        {"LE", {'L', 'E', 1}, 0, {not_object}},
        {"three bytes",
         {'X', 'Y', 'Z'},
         1,
         {"QUORV Internal: fread returned 3 bytes (4 expected). [analyze]", "Error reading file signature\n"}},
        {"PE\\0\\0", {'P', 'E', 0, 0, 1, 2, 3, 4}, 1, {not_object}},
        {"six bytes",
         {'P', 'E', 1, 0, 0, 0},
         1,
         {"QUORV Internal: fread returned 6 bytes (8 expected). [analyze]", "Error reading file signature\n"}},
    };
    for (const Case& c : cases) {
        AnalysisModel model;
        const auto out = test::analyze(c.bytes, model, kLib);
        EXPECT_EQ(out.result, c.result) << c.what;
        EXPECT_EQ(out.messages, c.messages) << c.what;
    }
}

TEST(Signatures, PeFollowedByOtherBytesIsReadAsAnObject) {
    test::ObjectSpec plan;
    plan.sections.resize(1);  // NumberOfSections 1: "PE\1\0"
    plan.symbols = {test::common("_x_", 4)};
    Bytes bytes = make_object(plan);
    bytes[0] = 'P';
    bytes[1] = 'E';
    AnalysisModel model;
    const auto out = test::analyze(bytes, model, kLib);
    EXPECT_EQ(out.messages, (Messages{"Error - bad file header machine value\n"}));
    EXPECT_EQ(out.result, 0);
    EXPECT_NE(model.find_block("_x_"), nullptr);
}

TEST(Archive, MemberNamesFromHeadersAndLongNames) {
    const Bytes lib = test::make_archive({
        {"util.obj/", object_declaring("_a_", 4)},
        {"/0", object_declaring("_b_", 4)},
        {"/", object_declaring("_c_", 4)},
        {"exactly16chars.o", object_declaring("_d_", 4)},  // no "/" at all
    });
    AnalysisModel model;
    const auto out = test::analyze(lib, model, kLib);
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(declaring_files(model),
              (std::vector<std::string>{"_a_ math.lib (util.obj) | c:\\lib\\math.lib (util.obj)",
                                        "_b_ math.lib (no obj file given) | c:\\lib\\math.lib (no obj file given)",
                                        "_c_ math.lib (no obj file given) | c:\\lib\\math.lib (no obj file given)",
                                        "_d_ math.lib (no obj file given) | c:\\lib\\math.lib (no obj file given)"}));
}

TEST(Archive, PadByteAfterTheFirstLinkerMembersNames) {
    // Names of total length 3 or 4 make the first linker member end on an odd or even offset.
    for (const char* name : {"ab", "abc"}) {
        const Bytes lib = test::make_archive({{"m.obj/", object_declaring("_m_", 4)}}, {name});
        AnalysisModel model;
        const auto out = test::analyze(lib, model, kLib);
        EXPECT_TRUE(out.messages.empty()) << name;
        EXPECT_NE(model.find_block("_m_"), nullptr) << name;
    }
}

TEST(Archive, NoMembersContributesNothing) {
    AnalysisModel model;
    const auto out = test::analyze(test::make_archive({}), model, kLib);
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_TRUE(model.block_list().empty());
}

TEST(Archive, DamagedCountsStopTheRun) {
    const Bytes good = test::make_archive({{"m.obj/", object_declaring("_m_", 4)}});
    struct Case {
        const char* what;
        std::size_t keep;           // bytes kept of the archive
        std::int64_t member_count;  // written over the member count when >= 0
        Messages tail;              // the last messages
    };
    const std::size_t count_at = 8 + 60 + 4 + 4 + 5 + 1 + 60;  // "_sym\0": 5 bytes, pad to even
    const std::vector<Case> cases = {
        {"no symbol count",
         70,
         -1,
         {"QUORV Internal: fread returned 2 bytes (4 expected). [analyze]",
          "Error with number of symbols in library\n"}},
        {"no member count",
         count_at + 1,
         -1,
         {"QUORV Internal: fread returned 1 bytes (4 expected). [analyze]",
          "Error reading number of members in library\n"}},
        {"huge member count", good.size(), 0x7FFFFFFF, {"Error reading library members"}},
    };
    for (const Case& c : cases) {
        Bytes bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.keep));
        if (c.member_count >= 0) test::put32(bytes, count_at, static_cast<std::uint32_t>(c.member_count));
        AnalysisModel model;
        const auto out = test::analyze(bytes, model, kLib);
        EXPECT_EQ(out.result, 1) << c.what;
        ASSERT_GE(out.messages.size(), c.tail.size()) << c.what;
        EXPECT_EQ(Messages(out.messages.end() - static_cast<std::ptrdiff_t>(c.tail.size()), out.messages.end()), c.tail)
            << c.what;
        EXPECT_TRUE(model.block_list().empty()) << c.what;
    }
}

TEST(Archive, FirstLinkerMemberEndingEarlyStopsPassingAtTheEnd) {
    Bytes lib = test::make_archive({});
    test::put32be(lib, 68, 1000);  // a thousand names in a file that holds one
    lib.resize(80);
    AnalysisModel model;
    const auto out = test::analyze(lib, model, kLib);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.messages.back(), "Error reading number of members in library\n");
}

TEST(Archive, AFailingMemberEndsTheWalk) {
    test::ObjectSpec bad;
    bad.symbols = {test::function("_f_", 7)};
    const Bytes lib = test::make_archive(
        {{"a.obj/", object_declaring("_a_", 4)}, {"b.obj/", make_object(bad)}, {"c.obj/", object_declaring("_c_", 4)}});
    AnalysisModel model;
    const auto out = test::analyze(lib, model, kLib);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.messages, (Messages{"Error: Section number is out of range\n"}));
    EXPECT_NE(model.find_block("_a_"), nullptr);
    EXPECT_EQ(model.find_block("_c_"), nullptr);
}

class RunFiles : public test::ScratchDirTest {
  protected:
    const FileEntry* file(const std::string& name, const Bytes& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        entries_.push_back(std::make_unique<FileEntry>(FileEntry{path.string(), name, 0}));
        return entries_.back().get();
    }
    std::vector<std::unique_ptr<FileEntry>> entries_;
};

TEST_F(RunFiles, SkipAndStopRules) {
    const Bytes mz = {'M', 'Z', 0x90, 0};
    const Bytes pe = {'P', 'E', 0, 0, 0x4C, 1};
    const auto good = object_declaring("_g_", 8);
    struct Case {
        const char* what;
        std::vector<const FileEntry*> inputs;
        RunOutcome outcome;
        bool good_read;
    };
    const FileEntry missing{(dir_ / "missing.obj").string(), "missing.obj", 0};
    const FileEntry directory{dir_.string(), "dir", 0};
    const std::vector<Case> cases = {
        {"MZ then good", {file("a.exe", mz), file("b.obj", good)}, RunOutcome::Completed, true},
        {"PE then good", {file("c.obj", pe), file("d.obj", good)}, RunOutcome::Stopped, false},
        {"good then unreadable", {file("e.obj", good), &missing}, RunOutcome::Stopped, true},
        {"directory", {&directory, file("f.obj", good)}, RunOutcome::Stopped, false},
    };
    for (const Case& c : cases) {
        AnalysisModel model;
        CollectingSink sink;
        EXPECT_EQ(run_analysis(c.inputs, model, sink), c.outcome) << c.what;
        EXPECT_EQ(model.find_block("_g_") != nullptr, c.good_read) << c.what;
    }
    AnalysisModel model;
    CollectingSink sink;
    run_analysis({&missing}, model, sink);
    EXPECT_EQ(sink.messages, (Messages{"Cannot open file: " + missing.full_path}));
}

TEST_F(RunFiles, TwoLibrariesOfOneNameInDifferentDirectories) {
    std::filesystem::create_directories(dir_ / "x");
    const Bytes lib = test::make_archive({{"m.obj/", object_declaring("_m_", 4)}});
    const FileEntry* one = file("x.lib", lib);
    const FileEntry* two = file("x/x.lib", lib);
    AnalysisModel model;
    CollectingSink sink;
    EXPECT_EQ(run_analysis({one, two}, model, sink), RunOutcome::Completed);
    const CommonBlock* b = model.find_block("_m_");
    ASSERT_EQ(b->declarations.size(), 2u);
    EXPECT_EQ(b->declarations.begin()->file->display_name, "x.lib (m.obj)");
    EXPECT_EQ(std::next(b->declarations.begin())->file->display_name, "x/x.lib (m.obj)");
    EXPECT_NE(b->declarations.begin()->file->full_path, std::next(b->declarations.begin())->file->full_path);
}

TEST_F(RunFiles, AThinArchiveNamingItselfIsReadOnceAsItsOwnMember) {
    // Its one member is its own file: read as a module (an archive member that is an
    // archive is read as COFF), which stops the run; the archive is never walked again.
    std::string header = "self.a/";
    header.resize(48, ' ');
    header += "100";
    header.resize(58, ' ');
    header += "`\n";
    const std::string text = "!<thin>\n" + header;
    const FileEntry* self = file("self.a", Bytes(text.begin(), text.end()));
    AnalysisModel model;
    CollectingSink sink;
    EXPECT_EQ(run_analysis({self}, model, sink), RunOutcome::Stopped);
    EXPECT_EQ(sink.messages, (Messages{"Error - bad file header machine value\n",
                                       "QUORV Internal: bad optional header size of 8224 (expecting 28 or 224)\n",
                                       "Could not process optional header (file " + self->full_path + " (self.a))"}));
    EXPECT_TRUE(model.block_list().empty());
}

}  // namespace
}  // namespace quorv
