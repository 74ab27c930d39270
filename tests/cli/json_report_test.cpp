// The JSON report's file members, written once per module and reused: a module met twice,
// one the input list does not know, a library member and a path too long to keep.
#include "cli/json_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace quorv::cli {
namespace {

std::string report(const AnalysisModel& model, const ui::FileList& files) {
    std::FILE* out = std::tmpfile();
    json_report(out, model, files, {"a message"}, true, {});
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
    std::fclose(out);
    return text;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(JsonReport, EveryModulesFileMembersWhereverTheyAreWritten) {
    ui::FileList files;
    files.add_entry("a.obj", "/x/a.obj");
    files.add_entry("a.obj", "/y/a.obj");
    const std::string long_path = "/" + std::string(70000, 'L') + "/long.obj";
    files.add_entry("long.obj", long_path);
    AnalysisModel model;
    const FileEntry stray{"/not/on/the/list.obj", "list.obj", 0};
    std::unique_ptr<FileEntry> made;
    make_file_entry("/lib/m.lib (m.obj)", "m.lib (m.obj)", made);
    const FileEntry* member = model.keep_member_entry(std::move(made));
    std::vector<const FileEntry*> modules = files.entries();
    modules.push_back(member);
    modules.push_back(&stray);
    // Each module declares blk and other (at a size of its own) and defines a procedure;
    // the first also initializes blk.
    model.keep_definitions(true);
    for (std::size_t m = 0; m < modules.size(); ++m) {
        model.current_object = ObjectRef{modules[m], 0, false};
        model.record_common_declaration("blk", 8);
        model.record_common_declaration("other", 12 + 4 * m);
        model.record_procedure("p" + std::to_string(m));
        if (m == 0) model.mark_initialized("blk");
    }
    model.current_object = ObjectRef{modules[0], 0, false};
    model.record_definition("blk", 8, true);
    model.put_in_order();

    const std::string text = report(model, files);
    const struct {
        std::string file, full_path;
        int ordinal;
    } expected[] = {
        {"a.obj", "/x/a.obj", 1},
        {"a.obj", "/y/a.obj", 2},
        {"long.obj", long_path, 1},
        {"m.lib (m.obj)", "/lib/m.lib (m.obj)", 0},
        {"list.obj", "/not/on/the/list.obj", 0},
    };
    for (std::size_t m = 0; m < modules.size(); ++m) {
        const auto& e = expected[m];
        const std::string members = "\"file\":\"" + e.file + "\",\"full_path\":\"" + e.full_path + "\"";
        const std::string with_ordinal = members + ",\"duplicate_ordinal\":" + std::to_string(e.ordinal);
        SCOPED_TRACE(e.full_path.substr(0, 40));
        // Its two declarations, and its procedure without the ordinal.
        EXPECT_EQ(count(text, "{\"size\":8,\"initialized\":" + std::string(m == 0 ? "true" : "false") + "," +
                                  with_ordinal + ",\"layouts\":[],\"source\":[]}"),
                  1u);
        EXPECT_EQ(count(text, "{\"size\":" + std::to_string(12 + 4 * m) + ",\"initialized\":false," + with_ordinal +
                                  ",\"layouts\":[],\"source\":[]}"),
                  1u);
        EXPECT_EQ(count(text, "{\"name\":\"p" + std::to_string(m) + "\"," + members + "}"), 1u);
    }
    EXPECT_EQ(count(text, "\"definitions\":[{\"file\":\"a.obj\",\"full_path\":\"/x/a.obj\",\"size\":8,"), 1u);
    EXPECT_EQ(count(text, long_path), 3u + 1u);  // the input list holds it once more
}

}  // namespace
}  // namespace quorv::cli
