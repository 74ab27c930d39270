#pragma once
// The corpus files gathered into one directory, as the expectations take them to lie, under
// a scratch directory of the test: <root>/flat/<name> for plain paths, and <root>/"pick\<name>"
// so that the picked directory <root>/pick joined with "\\" and a name opens the corpus file
// (the window composes full paths with a backslash; on Linux that is part of a file name).
#include <unistd.h>

#include <filesystem>
#include <string>

#include "shared_corpus.h"

namespace quorv::test {

inline const std::filesystem::path kCorpus = QUORV_CORPUS_DIR;

class CorpusLinks {
  public:
    CorpusLinks() {
        namespace fs = std::filesystem;
        static int made = 0;
        root_ = fs::temp_directory_path() / ("quorv-ui-" + std::to_string(::getpid()) + "-" + std::to_string(made++));
        fs::remove_all(root_);
        fs::create_directories(root_ / "flat");
        for (const char* folder : {"obj", "lib", "exe"}) {
            for (const fs::path& item : corpus_entries(folder)) {
                const std::string name = item.filename().string();
                const fs::path target = fs::absolute(item);
                fs::create_symlink(target, root_ / "flat" / name);
                fs::create_symlink(target, root_ / ("pick\\" + name));
                fs::create_symlink(target, root_ / ("pick2\\" + name));
            }
        }
    }
    ~CorpusLinks() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    CorpusLinks(const CorpusLinks&) = delete;
    CorpusLinks& operator=(const CorpusLinks&) = delete;

    // The path of a corpus file by its file name, all in one directory.
    std::string flat(const std::string& name) const { return (root_ / "flat" / name).string(); }
    // The directory to pick from: "<it>\\<name>" is the corpus file <name>.
    std::string pick_directory() const { return (root_ / "pick").string(); }
    // A second such directory, for the same files under another full path.
    std::string second_pick_directory() const { return (root_ / "pick2").string(); }

  private:
    std::filesystem::path root_;
};

}  // namespace quorv::test
