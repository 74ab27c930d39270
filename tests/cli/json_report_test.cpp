// The JSON report made in pieces, on one thread or two: the same text whatever the cut.
#include "cli/json_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace quorv::cli {
namespace {

std::string report(const AnalysisModel& model, const ui::FileList& files, const JsonPieceShape& shape) {
    std::FILE* out = std::tmpfile();
    json_report(out, model, files, {"a message"}, true, {}, shape);
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
    std::fclose(out);
    return text;
}

struct Fixture {
    ui::FileList files;
    AnalysisModel model;
    FileEntry stray{"/not/on/the/list.obj", "list.obj", 0};

    void declare(const FileEntry* f, const std::string& name, std::uint32_t size, bool initialized) {
        model.current_object = ObjectRef{f, 0, false};
        model.record_common_declaration(name, size);
        if (initialized) model.mark_initialized(name);
    }
    void define(const FileEntry* f, const std::string& name) {
        model.current_object = ObjectRef{f, 0, false};
        model.record_procedure(name);
    }

    // Blocks b00..b39 in many modules, every third also a procedure's name, so conflicts fall
    // on both sides of every cut; files of one display name, a library member, a path too
    // long to be held whole, and a module the list does not know.
    Fixture() {
        files.add_entry("a.obj", "/x/a.obj");
        files.add_entry("a.obj", "/y/a.obj");
        files.add_entry("long.obj", "/" + std::string(70000, 'L') + "/long.obj");
        files.add_entry("z.obj", "/z.obj");
        const std::vector<const FileEntry*> listed = files.entries();
        std::unique_ptr<FileEntry> member;
        make_file_entry("/lib/m.lib (m.obj)", "m.lib (m.obj)", member);
        const FileEntry* from_library = model.keep_member_entry(std::move(member));
        std::vector<const FileEntry*> modules = listed;
        modules.push_back(from_library);
        modules.push_back(&stray);
        for (int k = 0; k < 40; ++k) {
            const std::string name = (k < 10 ? "b0" : "b") + std::to_string(k);
            for (std::size_t m = 0; m < modules.size(); ++m) {
                if ((k + m) % 3 == 0) continue;
                declare(modules[m], name, static_cast<std::uint32_t>(4 * (1 + (k * m) % 3)), (k + m) % 5 == 0);
            }
            if (k % 3 == 0) define(modules[k % modules.size()], name);
        }
        for (int k = 0; k < 25; ++k) define(modules[k % modules.size()], "p" + std::to_string(k));
    }
};

TEST(JsonReport, EveryCutOnOneThreadOrTwoGivesTheSameText) {
    const Fixture f;
    constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
    const std::string whole = report(f.model, f.files, {kNever, kNever, kNever});
    ASSERT_NE(whole.find("\"conflict\":{\"procedure\":\"b00\""), std::string::npos);
    ASSERT_NE(whole.find(std::string(70000, 'L')), std::string::npos);
    ASSERT_NE(whole.find("\"full_path\":\"/not/on/the/list.obj\""), std::string::npos);
    ASSERT_NE(whole.find("\"full_path\":\"/lib/m.lib (m.obj)\""), std::string::npos);
    const std::vector<JsonPieceShape> shapes = {
        {1, 1, 0}, {2, 3, 0}, {5, 7, 0}, {7, 100, 0}, {100, 1, 0}, {1, 1, kNever}, {3, 4, 8},
    };
    for (const JsonPieceShape& shape : shapes) {
        EXPECT_EQ(report(f.model, f.files, shape), whole)
            << shape.blocks_per_piece << " " << shape.procedures_per_piece << " " << shape.pieces_for_a_second_thread;
    }
    // Nothing at all, in pieces or not.
    const ui::FileList none;
    const AnalysisModel empty;
    EXPECT_EQ(report(empty, none, {1, 1, 0}), report(empty, none, {kNever, kNever, kNever}));
}

}  // namespace
}  // namespace quorv::cli
