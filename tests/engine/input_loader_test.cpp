// Loading a run's inputs ahead: each file comes as loading it alone would give it, in list
// order, and a run that stops early leaves no loading behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/input_file.h"
#include "scratch_dir.h"

namespace quorv {
namespace {

class InputLoaderTest : public test::ScratchDirTest {
  protected:
    const FileEntry* entry(const std::filesystem::path& path) {
        entries_.push_back(std::make_unique<FileEntry>(FileEntry{path.string(), path.filename().string(), 0}));
        list_.push_back(entries_.back().get());
        return list_.back();
    }
    // A file of n bytes whose content tells it apart from every other.
    const FileEntry* file(std::size_t n) {
        const auto path = dir_ / ("f" + std::to_string(list_.size()));
        std::string bytes(n, '\0');
        for (std::size_t k = 0; k < n; ++k) bytes[k] = static_cast<char>((k * 7 + list_.size()) & 0xFF);
        std::ofstream(path, std::ios::binary) << bytes;
        return entry(path);
    }
    const FileEntry* fifo() {
        const auto path = dir_ / ("fifo" + std::to_string(list_.size()));
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        return entry(path);
    }

    std::vector<std::unique_ptr<FileEntry>> entries_;
    std::vector<const FileEntry*> list_;
};

TEST_F(InputLoaderTest, EachFileAsLoadingItAloneGivesIt) {
    // More files than are held ahead, some past the kept buffer size (the run loads those
    // itself, into one buffer: big ones back to back, growing and shrinking) and the held
    // limit, and the inputs that do not load: missing, a directory, a FIFO, an empty file.
    for (int k = 0; k < 300; ++k) file(k % 50 == 7 ? 70000 : 100 + 37 * k);
    file(0);
    file(5u << 20);
    file(300000);
    file(70000);
    file(40u << 20);
    file(90000);
    entry(dir_ / "missing.obj");
    entry(dir_);
    fifo();
    for (int k = 0; k < 20; ++k) file(3000 + k);

    InputLoader loader(list_);
    InputBuffer alone;
    for (const FileEntry* e : list_) {
        const InputBuffer* ahead = nullptr;
        const LoadResult got = loader.next(ahead);
        const LoadResult want = load_whole_file(e->full_path, alone);
        ASSERT_EQ(got, want) << e->full_path;
        if (want != LoadResult::Loaded) continue;
        ASSERT_NE(ahead, nullptr);
        ASSERT_EQ(ahead->length, alone.length) << e->full_path;
        EXPECT_TRUE(std::equal(alone.storage.begin(), alone.storage.begin() + alone.length, ahead->storage.begin()))
            << e->full_path;
    }
}

TEST_F(InputLoaderTest, StoppingEarlyLeavesNothingWaiting) {
    // A FIFO with no writer further down the list must not hold up the end of the run.
    for (int k = 0; k < 3; ++k) file(1000);
    fifo();
    for (int k = 0; k < 500; ++k) file(2000);
    for (const std::size_t taken : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{200}}) {
        InputLoader loader(list_);
        for (std::size_t k = 0; k < taken; ++k) {
            const InputBuffer* buffer = nullptr;
            // The FIFO is no regular file: the stream opens it; the others come whole.
            const LoadResult got = loader.next(buffer);
            EXPECT_EQ(got, k == 3 ? LoadResult::UseStream : LoadResult::Loaded) << taken << " " << k;
            if (got == LoadResult::Loaded) {
                EXPECT_EQ(buffer->length, k < 3 ? 1000u : 2000u) << taken << " " << k;
            }
        }
        // Leaving the scope joins the loading thread: a FIFO it waited on would hang here.
    }
    // One input is loaded when asked for.
    const std::vector<const FileEntry*> one = {list_[0]};
    InputLoader loader(one);
    const InputBuffer* buffer = nullptr;
    EXPECT_EQ(loader.next(buffer), LoadResult::Loaded);
    EXPECT_EQ(buffer->length, 1000u);
}

}  // namespace
}  // namespace quorv
