// quorv-check's findings formats as a CI job runs them: the lines, the annotations, the exit
// status, baselines written and read back, and the options' two spellings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/findings_report.h"
#include "process.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kScenarios = fs::path(QUORV_TEST_DATA_DIR) / "findings";

test::ProcessResult check(const std::vector<std::string>& args) {
    return test::run_process(QUORV_CHECK, args);
}

std::string scenario(const char* name) {
    return (kScenarios / name).string();
}

class Formats : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorv_formats_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(Formats, ExitStatusOfEveryFormat) {
    struct Case {
        std::vector<std::string> files;
        int text, json, findings;
    };
    const std::vector<Case> cases = {
        // A size mismatch: a problem block, and a counted finding.
        {{scenario("elf/s07_sizes_a.o"), scenario("elf/s07_sizes_b.o")}, 1, 1, 1},
        // Blank COMMON of three sizes: a problem in the window's rule, no finding.
        {{scenario("elf/s05_blank_a.o"), scenario("elf/s05_blank_b.o"), scenario("elf/s05_blank_c.o")}, 1, 1, 0},
        // An initializer smaller than the declaration: no problem block, an error finding.
        {{scenario("elf/s03_user.o"), scenario("elf/s03_bsmall.o")}, 0, 0, 1},
        // A run that stops.
        {{scenario("elf/damaged.a")}, 2, 2, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.files;
        EXPECT_EQ(check(args).status, c.text) << c.files[0];
        args.insert(args.begin(), "--json");
        EXPECT_EQ(check(args).status, c.json) << c.files[0];
        for (const char* format : {"--format=findings", "--format=sarif", "--format=github"}) {
            args[0] = format;
            EXPECT_EQ(check(args).status, c.findings) << c.files[0] << " " << format;
        }
    }
}

TEST_F(Formats, FindingsAndGithubLines) {
    const std::vector<std::string> files = {scenario("elf/s03_user.o"), scenario("elf/s03_bsmall.o"),
                                            scenario("elf/s06_model.o"), scenario("elf/s06_procs.o")};
    std::vector<std::string> args = files;
    args.insert(args.begin(), "--format=findings");
    EXPECT_EQ(check(args).out,
              scenario("elf/s03_bsmall.o") +
                  ": error: COMMON block /BLK3/ is initialized with 8 bytes in s03_bsmall.o "
                  "but declared with 32 bytes in s03_user.o [initializer-smaller-than-declaration]\n" +
                  scenario("elf/s06_model.o") +
                  ": warning: COMMON block /RESULT/ has the name of a procedure defined in "
                  "s06_procs.o; the linker lets one override the other [common-named-like-procedure]\n");
    args[0] = "--format";
    args.insert(args.begin() + 1, "github");
    const std::string escaped_model = cli::github_property(scenario("elf/s06_model.o"));
    EXPECT_NE(check(args).out.find("::warning file=" + escaped_model +
                                   ",line=1,title=common-named-like-procedure::COMMON block /RESULT/"),
              std::string::npos);
    // GitHub's escapes: % and line breaks everywhere, and : and , in property values.
    EXPECT_EQ(cli::github_message("50% a\r\nb"), "50%25 a%0D%0Ab");
    EXPECT_EQ(cli::github_property("C:\\a,b%"), "C%3A\\a%2Cb%25");
}

TEST_F(Formats, ABaselineAcceptsTheFindingsOfTodayAndFailsOnANewOne) {
    const std::string baseline = path("quorv.baseline");
    std::vector<std::string> legacy = {"--format=findings", scenario("elf/s07_sizes_a.o"),
                                       scenario("elf/s07_sizes_b.o"), scenario("elf/s06_model.o"),
                                       scenario("elf/s06_procs.o")};
    std::vector<std::string> write = legacy;
    write.insert(write.begin() + 1, "--write-baseline=" + baseline);
    EXPECT_EQ(check(write).status, 1);
    const std::string written = test::slurp(baseline);
    EXPECT_NE(written.find(" common-size-mismatch COMMON block /COEF/"), std::string::npos);

    // Read back (the option's other spelling): nothing counted, nothing listed, one line on stderr.
    std::vector<std::string> read = legacy;
    read.insert(read.begin() + 1, {"--baseline", baseline});
    const auto accepted = check(read);
    EXPECT_EQ(accepted.status, 0);
    EXPECT_EQ(accepted.out, "");
    EXPECT_EQ(accepted.err, "quorv-check: 2 findings are in the baseline and left out\n");

    // In SARIF they stay, suppressed.
    read[0] = "--format=sarif";
    const json sarif = json::parse(check(read).out);
    for (const auto& r : sarif["runs"][0]["results"]) EXPECT_EQ(r["suppressions"][0]["kind"], "external");

    // A new mismatch fails the job again.
    read[0] = "--format=findings";
    read.push_back(scenario("elf/s03_user.o"));
    read.push_back(scenario("elf/s03_bsmall.o"));
    const auto grown = check(read);
    EXPECT_EQ(grown.status, 1);
    EXPECT_NE(grown.out.find("[initializer-smaller-than-declaration]"), std::string::npos);

    // The baseline is the same whatever order the inputs came in.
    std::vector<std::string> reordered = {"--format=findings",         "--write-baseline=" + path("again.baseline"),
                                          scenario("elf/s06_procs.o"), scenario("elf/s07_sizes_b.o"),
                                          scenario("elf/s06_model.o"), scenario("elf/s07_sizes_a.o")};
    check(reordered);
    EXPECT_EQ(test::slurp(path("again.baseline")), written);
}

TEST_F(Formats, UsageErrors) {
    const std::string file = scenario("elf/s07_sizes_a.o");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--format=findings", "--baseline=" + path("missing.baseline"), file}, "cannot read the baseline"},
        {{"--format=findings", "--baseline", dir_.string(), file}, "cannot read the baseline"},
        {{"--ignore=no-such-rule", file}, "unknown rule 'no-such-rule'"},
        {{"--format=xml", file}, "--format takes"},
        {{"--format"}, "--format takes"},
    };
    for (const Case& c : cases) {
        const auto r = check(c.args);
        EXPECT_EQ(r.status, 64) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.says;
    }
}

TEST_F(Formats, IgnoredRulesAreLeftOut) {
    const auto r = check({"--format=findings", "--ignore", "common-size-mismatch,common-named-like-procedure",
                          scenario("elf/s07_sizes_a.o"), scenario("elf/s07_sizes_b.o"), scenario("elf/s06_model.o"),
                          scenario("elf/s06_procs.o")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(Formats, JsonGainsDefinitionsAndFindings) {
    const auto r = check({"--json", scenario("elf/s03_user.o"), scenario("elf/s03_bsmall.o")});
    const json report = json::parse(r.out);
    const json& block = report["blocks"][0];
    EXPECT_EQ(block["name"], "blk3_");
    EXPECT_EQ(block["definitions"], json::parse(R"([{"file":"s03_bsmall.o","full_path":")" +
                                                scenario("elf/s03_bsmall.o") + R"(","size":8,"size_exact":true}])"));
    ASSERT_EQ(report["findings"].size(), 1u);
    const json& f = report["findings"][0];
    EXPECT_EQ(f["rule"], "initializer-smaller-than-declaration");
    EXPECT_EQ(f["level"], "error");
    EXPECT_EQ(f["block"], "blk3_");
    EXPECT_EQ(f["modules"],
              json::parse("[\"" + scenario("elf/s03_bsmall.o") + "\",\"" + scenario("elf/s03_user.o") + "\"]"));
    EXPECT_EQ(f["baselined"], false);
    EXPECT_EQ(f["fingerprint"].get<std::string>().size(), 32u);
}

TEST(SarifUris, RelativeStaysRelativeAndBytesAreEncoded) {
    EXPECT_EQ(cli::artifact_uri("build/a b.o"), "build/a%20b.o");
    EXPECT_EQ(cli::artifact_uri("/abs/x.o"), "file:///abs/x.o");
    EXPECT_EQ(cli::artifact_uri("/abs/build/../lib/./x.a"), "file:///abs/lib/x.a");
    EXPECT_EQ(cli::artifact_uri("../lib/x.a"), "../lib/x.a");
    EXPECT_EQ(cli::artifact_uri("lib#1%.a"), "lib%231%25.a");
    EXPECT_EQ(cli::artifact_uri("\xE9.o"), "%E9.o");
}

// The SARIF writer skips making a URI where it is the path itself: never where it is not.
TEST(SarifUris, APathTakenAsItsOwnUriIsOne) {
    const struct {
        const char* path;
        bool as_is;
    } cases[] = {
        {"build/a.o", true},  {"../lib/x.a", true},   {"./x.o", true},        {"", true},
        {"/abs/x.o", true},   {"/a/b-c_d~e.o", true}, {"/", false},           {"/abs/", false},
        {"//abs/x.o", false}, {"/a//x.o", false},     {"/a/./x.o", false},    {"/a/../x.o", false},
        {"/a/..", false},     {"/a/.", false},        {"build/a b.o", false}, {"/x%.o", false},
        {"/\xE9.o", false},   {"/a/.../x.o", true},   {"/a/.x/x.o", true},
    };
    for (const auto& c : cases) {
        const std::string path = c.path;
        EXPECT_EQ(cli::uri_is_path(path), c.as_is) << path;
        if (!cli::uri_is_path(path)) continue;
        EXPECT_EQ(cli::artifact_uri(path), path.starts_with('/') ? "file://" + path : path) << path;
    }
}

// A result's locations, written in one piece where the path and name need no escaping and
// with the writer's care otherwise, read back the same way; a rule's members made once stay
// right for every rule.
TEST(SarifResults, LocationsAndRuleMembersReadBackAsWritten) {
    FileEntry library("/libs/w x.a", "w x.a");
    struct {
        FileEntry entry;
        const char* uri;
        const char* name;
    } modules[] = {
        {FileEntry("build/a.o", "a.o"), "build/a.o", "a.o"},
        {FileEntry("/abs/b.o", "b.o"), "file:///abs/b.o", "b.o"},
        {FileEntry("build/c d.o", "c d.o"), "build/c%20d.o", "c d.o"},
        {FileEntry("e.o", "e\"q.o"), "e.o", "e\"q.o"},
        {FileEntry("/abs/../f.o", "f.o"), "file:///f.o", "f.o"},
        {FileEntry("w x.a", "w x.a"), "file:///libs/w%20x.a", "w x.a(m.o)"},
    };
    const std::size_t count = std::size(modules);
    FileEntry& member = modules[count - 1].entry;
    member.library = &library;
    member.member_name = "m.o";

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        cli::FindingsWriter writer(file, cli::FindingsWriter::Style::Sarif);
        for (const char* id : {"common-size-mismatch", "common-initialized-twice", "common-size-mismatch"}) {
            findings::Finding f;
            f.rule = findings::find_rule(id);
            f.message = "m";
            f.fingerprint = findings::fingerprint({id});
            f.primary = &modules[0].entry;
            for (const auto& m : modules) f.modules.push_back(&m.entry);
            writer.write(f);
        }
        writer.finish();
    }
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    ASSERT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
    std::fclose(file);

    const json results = json::parse(text)["runs"][0]["results"];
    ASSERT_EQ(results.size(), 3u);
    for (std::size_t r = 0; r < results.size(); ++r) {
        const json& result = results[r];
        const std::string id = r == 1 ? "common-initialized-twice" : "common-size-mismatch";
        EXPECT_EQ(result["ruleId"], id);
        EXPECT_EQ(result["ruleIndex"], findings::rule_index(*findings::find_rule(id)));
        EXPECT_EQ(result["level"], "warning");
        EXPECT_EQ(result["partialFingerprints"]["quorvFinding/v1"], std::string(findings::fingerprint({id}).text()));
        EXPECT_EQ(result["locations"][0]["physicalLocation"]["artifactLocation"]["uri"], "build/a.o");
        const json& related = result["relatedLocations"];
        ASSERT_EQ(related.size(), count - 1);
        for (std::size_t k = 1; k < count; ++k) {
            const json& at = related[k - 1];
            EXPECT_EQ(at["id"], k - 1);
            EXPECT_EQ(at["physicalLocation"]["artifactLocation"]["uri"], modules[k].uri) << k;
            EXPECT_EQ(at["physicalLocation"]["region"]["startLine"], 1);
            EXPECT_EQ(at["message"]["text"], modules[k].name) << k;
        }
    }
}

}  // namespace
}  // namespace quorv
