// Real objects and libraries from real compilers: the model and messages each must give.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "corpus_model.h"
#include "engine_harness.h"
#include "shared_corpus.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kCorpus = QUORV_CORPUS_DIR;

json load_json(const fs::path& p) {
    std::ifstream in(p);
    return json::parse(in);
}

std::vector<fs::path> corpus_files(std::initializer_list<const char*> dirs) {
    std::vector<fs::path> files;
    for (const char* d : dirs)
        for (const fs::path& p : test::corpus_entries(d)) files.push_back(p);
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Corpus, EveryFileGivesItsExpectedModelAndMessages) {
    const auto files = corpus_files({"obj", "lib", "exe"});
    ASSERT_GE(files.size(), 27u) << "corpus missing at " << kCorpus;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const json expected = load_json(kCorpus / "expected" / (path.filename().string() + ".json"));
        const FileEntry entry{path.string(), path.filename().string(), 0};
        AnalysisModel model;
        CollectingSink sink;
        const RunOutcome outcome = run_analysis({&entry}, model, sink);
        EXPECT_EQ(outcome == RunOutcome::Completed ? "completed" : "stopped", expected["run"].get<std::string>());
        std::vector<std::string> messages;
        for (const auto& m : expected["messages"])
            messages.push_back(test::replace_all(m.get<std::string>(), "{full_path}", path.string()));
        EXPECT_EQ(sink.messages, messages);
        EXPECT_EQ(test::model_as_json(model), test::expected_model(expected["model"]));
    }
}

// The expectations take every input of a set to lie in one directory: links in one
// temporary directory give the inputs that shape.
TEST(Corpus, EverySetGivesItsExpectedModelAndMessages) {
    const fs::path dir = fs::temp_directory_path() / "quorv_corpus_sets";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const fs::path& set : test::corpus_entries("expected/sets")) {
        SCOPED_TRACE(set.filename().string());
        const json expected = load_json(set);
        std::vector<std::unique_ptr<FileEntry>> entries;
        std::vector<const FileEntry*> order;
        for (const auto& rel : expected["inputs_in_run_order"]) {
            const fs::path target = kCorpus / rel.get<std::string>();
            const fs::path p = dir / target.filename();
            if (!fs::exists(p)) fs::create_symlink(fs::absolute(target), p);
            entries.push_back(std::make_unique<FileEntry>(FileEntry{p.string(), p.filename().string(), 0}));
            order.push_back(entries.back().get());
        }
        AnalysisModel model;
        CollectingSink sink;
        const RunOutcome outcome = run_analysis(order, model, sink);
        EXPECT_EQ(outcome == RunOutcome::Completed ? "completed" : "stopped", expected["run"].get<std::string>());
        std::vector<std::string> messages;
        for (const auto& m : expected["messages"]) {
            std::string text = m.get<std::string>();
            for (const FileEntry* f : order) text = test::replace_all(text, "{dir}\\" + f->display_name, f->full_path);
            messages.push_back(text);
        }
        EXPECT_EQ(sink.messages, messages);
        EXPECT_EQ(test::model_as_json(model), test::expected_model(expected["model"]));
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorv
