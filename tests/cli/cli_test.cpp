// quorv-check as users run it: the built binary over real and made-up files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "coff_builder.h"
#include "corpus_model.h"
#include "process.h"
#include "shared_corpus.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::Bytes;

const fs::path kCorpus = QUORV_CORPUS_DIR;

test::ProcessResult check(const std::vector<std::string>& args) {
    return test::run_process(QUORV_CHECK, args);
}

// JSON strings carry bytes as code points 0-255; this gives the bytes back.
std::string latin1_bytes(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
    return out;
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quorv_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path dir_;
};

Bytes object_with(std::vector<test::Symbol> symbols, std::size_t sections = 1) {
    test::ObjectSpec plan;
    plan.sections.resize(sections);
    plan.symbols = std::move(symbols);
    return make_object(plan);
}

TEST(CliCorpus, JsonModelOfEveryFileEqualsTheExpectedOne) {
    std::vector<fs::path> files;
    for (const char* d : {"obj", "lib", "exe"})
        for (const fs::path& p : test::corpus_entries(d)) files.push_back(p);
    ASSERT_GE(files.size(), 27u);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const json expected = json::parse(std::ifstream(kCorpus / "expected" / (path.filename().string() + ".json")));
        const auto r = check({"--json", path.string()});
        EXPECT_TRUE(r.err.empty()) << r.err;
        const json report = json::parse(r.out);
        EXPECT_EQ(test::report_as_json(report), test::expected_model(expected["model"]));
        EXPECT_EQ(report["completed"], expected["run"] == "completed");
        std::vector<std::string> messages;
        for (const auto& m : expected["messages"])
            messages.push_back(test::replace_all(m.get<std::string>(), "{full_path}", path.string()));
        EXPECT_EQ(report["messages"].get<std::vector<std::string>>(), messages);
        const bool problems = std::any_of(report["blocks"].begin(), report["blocks"].end(),
                                          [](const json& b) { return b["problem"].get<bool>(); });
        EXPECT_EQ(r.status, expected["run"] == "stopped" ? 2 : problems ? 1 : 0);
    }
}

TEST(CliCorpus, TextViewsAndDetailsOfEveryCompletedFile) {
    for (const char* d : {"obj", "lib"}) {
        for (const fs::path& file : test::corpus_entries(d)) {
            SCOPED_TRACE(file.filename().string());
            const json expected =
                json::parse(std::ifstream(kCorpus / "expected" / (file.filename().string() + ".json")));
            if (expected["views"].is_null()) continue;
            for (bool problems_only : {false, true}) {
                std::string want;
                const auto& rows = expected["views"][problems_only ? "blocks_problems_only" : "blocks_all"];
                for (const auto& row : rows) want += row.get<std::string>() + "\n";
                want += "\n" + expected["views"][problems_only ? "hint_problems_only" : "hint_all"].get<std::string>() +
                        "\n";
                for (const auto& b : expected["model"]["blocks"]) {
                    if (problems_only && !b["problem"].get<bool>()) continue;
                    // Each table opens with the block's row as the list shows it.
                    want += "\n" + b["name"].get<std::string>() +
                            (b["problem"].get<bool>() && !problems_only ? "*" : "") + "\n";
                    for (const auto& row : b["detail_rows"]) want += row.get<std::string>() + "\n";
                    if (!b["conflict_message"].is_null()) want += b["conflict_message"].get<std::string>() + "\n";
                }
                std::vector<std::string> args = {"--details", file.string()};
                if (problems_only) args.insert(args.begin(), "--problems-only");
                EXPECT_EQ(check(args).out, want) << problems_only;
            }
        }
    }
}

TEST(CliUsage, ArgumentErrorsAndHelp) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, 64},
        {{"--json"}, 64},
        {{"--bogus", "x.obj"}, 64},
        {{"-x", "x.obj"}, 64},
        {{"--details", "--json", "--problems-only"}, 64},
    };
    for (const Case& c : cases) {
        const auto r = check(c.args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("usage: quorv-check"), std::string::npos);
    }
    const auto help = check({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
}

TEST_F(TempDir, OptionsAnywhereDashDashAndDuplicates) {
    const std::string a = write("a.obj", object_with({test::common("_a_", 4)}));
    const std::string dashed = write("-d.obj", object_with({test::common("_d_", 4)}));
    fs::current_path(dir_);
    const auto r = check({"a.obj", "--details", "--", "-d.obj", "a.obj", "./a.obj"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "a.obj is already on the list\n");
    EXPECT_EQ(r.out.substr(0, r.out.find("\n\n")), "_a_\n_d_");
    // d/f and d/./f are two entries, numbered in the run of a.obj; a bare "-" is a file name.
    const auto j = json::parse(check({"--json", "./a.obj", "a.obj", "-"}).out);
    ASSERT_EQ(j["inputs"].size(), 3u);
    EXPECT_EQ(j["inputs"][0]["display_name"], "-");
    EXPECT_EQ(j["inputs"][1]["full_path"], "./a.obj");
    EXPECT_EQ(j["inputs"][1]["duplicate_ordinal"], 1);
    EXPECT_EQ(j["inputs"][2]["full_path"], "a.obj");
    EXPECT_EQ(j["inputs"][2]["duplicate_ordinal"], 2);
    EXPECT_EQ(j["completed"], false);  // "-" cannot be opened
    EXPECT_EQ(j["messages"], json::array({"Cannot open file: -"}));
}

TEST_F(TempDir, SkipAndStopRules) {
    const std::string good = write("good.obj", object_with({test::common("_g_", 8)}));
    const std::string mz = write("a_prog.exe", Bytes{'M', 'Z', 0x90, 0});
    const std::string pe = write("a_pe.obj", Bytes{'P', 'E', 0, 0, 0x4C, 1});
    struct Case {
        std::vector<std::string> files;
        int status;
        std::string err;
        bool rows;
    };
    const std::vector<Case> cases = {
        {{mz, good}, 0, "The file " + mz + " is not an object file.\n", true},
        {{pe, good}, 2, "The file " + pe + " is not an object file.\n", false},
        {{good, dir_.string() + "/missing.obj"}, 2, "Cannot open file: " + dir_.string() + "/missing.obj\n", false},
        {{good, dir_.string()}, 2, "Cannot open file: " + dir_.string() + "\n", false},
    };
    for (const Case& c : cases) {
        const auto r = check(c.files);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out.empty(), !c.rows) << c.err;
    }
}

TEST_F(TempDir, LibrariesMemberNamesPadsAndFailingMembers) {
    const Bytes empty_lib = test::make_archive({});
    const Bytes long_names = test::make_archive(
        {{"/0", object_with({test::common("_a_", 4)})}, {"/18", object_with({test::common("_a_", 8)})}});
    const Bytes pad_odd = test::make_archive({{"m.obj/", object_with({test::common("_p_", 4)})}}, {"abc"});
    const Bytes failing = test::make_archive(
        {{"ok.obj/", object_with({test::common("_ok_", 4)})}, {"bad.obj/", object_with({test::function("_f_", 5)})}});
    const auto r0 = check({"--json", write("empty.lib", empty_lib)});
    EXPECT_EQ(r0.status, 0);
    EXPECT_EQ(json::parse(r0.out)["blocks"], json::array());

    const auto r1 = check({"--details", write("long.lib", long_names)});
    EXPECT_EQ(r1.status, 1);
    EXPECT_EQ(r1.out,
              "_a_*\n\nClick the name of a COMMON block to display its size and in which file(s) it resides. "
              "(* = Problem)\n\n_a_*\nSize       Initialized    File Name \n"
              "8                        long.lib (no obj file given)\n"
              "4                        long.lib (no obj file given)\n");

    EXPECT_EQ(check({write("pad.lib", pad_odd)}).out.substr(0, 4), "_p_\n");

    const auto r3 = check({write("fail.lib", failing), write("zz.obj", object_with({test::common("_zz_", 4)}))});
    EXPECT_EQ(r3.status, 2);
    EXPECT_EQ(r3.out, "");
    EXPECT_EQ(r3.err, "Error: Section number is out of range\n");
    const auto j3 = json::parse(check({"--json", (dir_ / "fail.lib").string(), (dir_ / "zz.obj").string()}).out);
    ASSERT_EQ(j3["blocks"].size(), 1u);  // what came before the stop stays in the model
    EXPECT_EQ(j3["blocks"][0]["declarations"][0]["file"], "fail.lib (ok.obj)");
}

TEST_F(TempDir, JsonCarriesEveryByteOfNames) {
    std::string name = "_\x80\xff\x01\x1f\"\\\t\x7f_";
    const std::string path = write("odd\xe9.obj", object_with({test::common(name, 3000000000u), test::function(name)}));
    const auto r = check({"--json", "--details", path});
    EXPECT_EQ(r.status, 1);
    const json j = json::parse(r.out);  // throws on invalid JSON
    EXPECT_EQ(latin1_bytes(j["blocks"][0]["name"].get<std::string>()), name);
    EXPECT_EQ(j["blocks"][0]["declarations"][0]["size"], 3000000000u);
    EXPECT_EQ(latin1_bytes(j["inputs"][0]["display_name"].get<std::string>()), "odd\xe9.obj");
    EXPECT_EQ(latin1_bytes(j["procedures"][0]["name"].get<std::string>()), name);
    // Text mode prints the size unsigned.
    EXPECT_NE(check({"--details", path}).out.find("\n3000000000               odd\xe9.obj  \n"), std::string::npos);
}

TEST_F(TempDir, TruncationsAndCorruptionsOfALibraryRunSafely) {
    const Bytes lib = [] {
        std::ifstream in(kCorpus / "lib" / "h_heat.lib", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }();
    ASSERT_GT(lib.size(), 1000u);
    // Every prefix through the archive walk's headers, then every 97th.
    for (std::size_t keep = 0; keep < lib.size(); keep += keep < 600 ? 1 : 97) {
        const auto r =
            check({"--json", write("cut.lib", Bytes(lib.begin(), lib.begin() + static_cast<std::ptrdiff_t>(keep)))});
        ASSERT_LE(r.status, 2) << keep << r.err;
        ASSERT_TRUE(json::accept(r.out)) << keep;
    }
    // Seeded corruptions of the counts and offsets the walk reads.
    std::mt19937 random(20261208);
    const std::vector<std::uint32_t> values = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 60, 0x1000};
    for (int k = 0; k < 150; ++k) {
        Bytes bad = lib;
        const std::size_t at = 68 + random() % 400;
        test::put32(bad, at, values[random() % values.size()] ^ (k % 3 == 0 ? random() : 0));
        const auto r = check({write("bad.lib", bad)});
        ASSERT_LE(r.status, 2) << at;
    }
}

TEST_F(TempDir, HugeMemberCountCostsNoMemory) {
    Bytes lib = test::make_archive({{"m.obj/", object_with({test::common("_m_", 4)})}});
    const std::size_t count_at = 8 + 60 + 4 + 4 + 5 + 1 + 60;
    test::put32(lib, count_at, 0x7FFFFFFF);
    const auto r = check({write("huge.lib", lib)});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Error reading library members\n"), std::string::npos);
#if !QUORV_SANITIZED
    EXPECT_LT(r.peak_rss_kib, 64 * 1024) << "peak RSS " << r.peak_rss_kib << " KiB";
#endif
    std::printf("peak RSS with member count 0x7FFFFFFF: %ld KiB\n", r.peak_rss_kib);
}

TEST(CliExamples, TheExampleProgramShowsItsProblems) {
    std::vector<std::string> args = {"--problems-only"};
    for (const auto& e : fs::directory_iterator(fs::path(QUORV_EXAMPLES_DIR) / "obj"))
        args.push_back(e.path().string());
    const auto r = check(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "_energy_\n_force_\n\nClick the name of a COMMON block to display its problems.\n");
}

}  // namespace
}  // namespace quorv
