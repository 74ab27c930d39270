#pragma once
// The shared corpus of real COFF files, beside the clone at ../shared/corpus. A clone without
// it fails the tests that need it with one message saying where it was looked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace quorv::test {

inline const std::filesystem::path& shared_corpus() {
    static const std::filesystem::path dir = QUORV_CORPUS_DIR;
    return dir;
}

// The entries of a folder of the corpus, sorted; none, and a failure saying what is
// missing, when the corpus is not there.
inline std::vector<std::filesystem::path> corpus_entries(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    const std::filesystem::path dir = shared_corpus() / folder;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        ADD_FAILURE() << "the shared corpus is missing: no folder " << dir
                      << " (the tests read the real files of ../shared/corpus beside the clone)";
        return out;
    }
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace quorv::test
