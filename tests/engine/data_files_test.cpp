// The project's own real files (tests/data): libraries of every layout, import libraries, big
// objects, link-time-optimization code and ELF objects, each read by the engine and held
// against what the dump tools said of its members (expected/*.json, made by the folder's
// expect.py), put through the model's rules by the recorder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "corpus_model.h"
#include "engine/messages.h"
#include "engine/recorder.h"
#include "engine/run.h"
#include "engine/text.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kData = QUORV_TEST_DATA_DIR;

// COFF machine values the header check accepts; others draw the machine-value warning.
bool accepted_machine(const std::string& machine) {
    for (const char* m : {"0x0", "0x14C", "0x162", "0x166", "0x168", "0x183", "0x184", "0x1F0"})
        if (machine == m) return true;
    return false;
}

struct Expectation {
    std::vector<std::unique_ptr<FileEntry>> members;
    AnalysisModel model;
    std::vector<std::string> messages;
};

bool is_archive(const fs::path& binary) {
    std::ifstream in(binary, std::ios::binary);
    char signature[8] = {};
    in.read(signature, sizeof signature);
    const std::string text(signature, sizeof signature);
    return text == "!<arch>\n" || text == "!<thin>\n";
}

// What the run must give for one file, from the members the tools listed.
void expect_file(const json& file, const FileEntry& input, Expectation& out) {
    const bool archive = is_archive(input.full_path);
    Recorder recorder(out.model);
    if (file.value("kind", "") == "not an object")
        out.messages.push_back(compose(msg::kNotObject, input.full_path.c_str()));
    for (const json& m : file["members"]) {
        const std::string kind = m.value("kind", "elf");
        if (kind == "import-short") continue;
        const std::string name = m["member_name"].is_null() ? "" : m["member_name"].get<std::string>();
        const std::string suffix = archive ? " (" + (name.empty() ? std::string("no obj file given") : name) + ")" : "";
        out.members.push_back(
            std::make_unique<FileEntry>(FileEntry{input.full_path + suffix, input.display_name + suffix, 0}));
        const FileEntry& entry = *out.members.back();
        if (kind == "bitcode" || m.value("lto", false)) {
            out.messages.push_back(compose(msg::kNotObjectModule, entry.full_path.c_str()));
            continue;
        }
        if (m.contains("machine") && m["machine"].is_string() && !accepted_machine(m["machine"]))
            out.messages.push_back(msg::kBadMachine);
        ModuleFacts facts;
        std::vector<std::string> names;  // the facts' names point here
        names.reserve(m["common_declarations"].size() + m["procedures"].size() + m["defined_data"].size());
        for (const json& d : m["common_declarations"])
            facts.declare(names.emplace_back(d["name"].get<std::string>()), d["size"].get<std::uint64_t>());
        for (const json& p : m["procedures"]) facts.define_procedure(names.emplace_back(p.get<std::string>()));
        for (const json& d : m["defined_data"])
            facts.define_data(names.emplace_back(d.is_string() ? d.get<std::string>() : d["name"].get<std::string>()));
        recorder.record_module(entry, facts);
    }
    out.model.put_in_order();
}

std::vector<fs::path> expectation_files() {
    std::vector<fs::path> out;
    for (const char* folder : {"libraries", "elf"}) {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(kData / folder / "expected", ec))
            if (e.path().extension() == ".json") out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(DataFiles, EveryFileGivesTheModelOfItsMembers) {
    const std::vector<fs::path> files = expectation_files();
    ASSERT_FALSE(files.empty()) << "no expectations under " << kData;
    for (const fs::path& path : files) {
        std::ifstream in(path);
        const json file = json::parse(in);
        const fs::path folder = path.parent_path();
        fs::path root = folder;
        while (root.filename() != "expected") root = root.parent_path();
        const fs::path binary = root.parent_path() / file["file"].get<std::string>();
        SCOPED_TRACE(binary.string());
        const FileEntry input{binary.string(), binary.filename().string(), 0};
        Expectation expected;
        expect_file(file, input, expected);

        AnalysisModel model;
        CollectingSink sink;
        EXPECT_EQ(run_analysis({&input}, model, sink), RunOutcome::Completed);
        EXPECT_EQ(sink.messages, expected.messages);
        EXPECT_EQ(test::model_as_json(model), test::model_as_json(expected.model));
    }
}

}  // namespace
}  // namespace quorv
