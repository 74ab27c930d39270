// Runs a fuzz target over saved inputs without libFuzzer, so that the committed corpus and
// the regression inputs replay in every build (the sanitizer build included). Arguments
// are files or folders; a folder stands for every file in it, in name order.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in && !fs::exists(path)) {
        // Taken away since the folder was listed (a fuzzer reducing its corpus meanwhile).
        std::fprintf(stderr, "gone: %s\n", path.c_str());
        return true;
    }
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 0;
    bool ok = true;
    for (int k = 1; k < argc; ++k) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[k])) {
            for (const auto& e : fs::recursive_directory_iterator(argv[k]))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[k]);
        }
        for (const fs::path& f : files) {
            ok = replay(f) && ok;
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return ok && count > 0 ? 0 : 1;
}
