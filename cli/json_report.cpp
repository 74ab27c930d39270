#include "cli/json_report.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "cli/json_writer.h"
#include "engine/entry_table.h"
#include "engine/model_walks.h"

namespace quorv::cli {
namespace {

void write_file_fields(JsonWriter& json, const FileEntry& file, bool ordinal) {
    json.fixed_key("file").value(file.display_name).fixed_key("full_path").value(file.full_path);
    if (ordinal) json.fixed_key("duplicate_ordinal").value(std::int64_t{file.duplicate_ordinal});
}

// The file members that every declaration (or procedure) of one module repeats, written
// once per module, on first use.
class FileFields {
  public:
    // With the duplicate ordinal or without: the same text cut before it.
    std::string_view of(const FileEntry& file, bool ordinal) {
        const Text& text = texts_.of(file, [this](const FileEntry& f) {
            Text made;
            made.without_ordinal = write(f, false).size();
            made.members.assign(write(f, true));
            return made;
        });
        return ordinal ? std::string_view(text.members)
                       : std::string_view(text.members).substr(0, text.without_ordinal);
    }

  private:
    struct Text {
        std::string members;
        std::size_t without_ordinal = 0;
    };
    std::string_view write(const FileEntry& file, bool ordinal) {
        scratch_.clear();
        scratch_.begin_object();
        write_file_fields(scratch_, file, ordinal);
        scratch_.end_object();
        return scratch_.members_text();
    }

    JsonWriter scratch_;
    EntryTable<Text> texts_;
};

// The declaring module's layouts of the block (identical ones once), and where each is
// declared.
void write_layouts(JsonWriter& json, std::span<const ModuleLayout> layouts, const FileEntry& file) {
    json.fixed_key("layouts").begin_array();
    std::vector<const ModuleLayout*> mine;
    for (const ModuleLayout& m : layouts) {
        if (m.file != &file) continue;
        const bool seen = std::any_of(mine.begin(), mine.end(),
                                      [&](const ModuleLayout* l) { return dwarf::same_layout(*l->layout, *m.layout); });
        if (!seen) mine.push_back(&m);
    }
    for (const ModuleLayout* l : mine) {
        json.begin_array();
        for (const dwarf::Member& member : l->layout->members) {
            json.begin_object().fixed_key("name").value(member.name).fixed_key("offset").value(member.offset);
            json.fixed_key("size").value(member.size).fixed_key("type").value(member.type).end_object();
        }
        json.end_array();
    }
    json.end_array().fixed_key("source").begin_array();
    for (const ModuleLayout* l : mine)
        json.begin_object()
            .fixed_key("file")
            .value(l->source_file)
            .fixed_key("line")
            .value(l->source_line)
            .end_object();
    json.end_array();
}

void write_procedures(JsonWriter& json, const AnalysisModel& model, FileFields& fields) {
    for (const ProcedureEntry& procedure : model.procedure_list()) {
        json.newline().begin_object().fixed_key("name").value(procedure.name);
        json.members(fields.of(*procedure.defining_object.file, false)).end_object();
    }
}

void write_blocks(JsonWriter& json, const AnalysisModel& model, FileFields& fields) {
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* p) {
        json.newline().begin_object().fixed_key("name").value(block.name);
        json.fixed_key("sizes_agree").value(block.sizes_agree).fixed_key("problem").value(is_problem(block, p));
        json.fixed_key("declarations").begin_array();
        const std::span<const ModuleLayout> layouts = model.layouts_of(block);
        for (const ObjectRef& d : block.declarations) {
            json.begin_object().fixed_key("size").value(std::uint64_t{d.size});
            json.fixed_key("initialized").value(d.initialized);
            json.members(fields.of(*d.file, true));
            write_layouts(json, layouts, *d.file);
            json.end_object();
        }
        json.end_array().fixed_key("conflict");
        if (p != nullptr) {
            json.begin_object().fixed_key("procedure").value(p->name);
            json.fixed_key("file").value(p->defining_object.file->display_name).end_object();
        } else {
            json.null();
        }
        json.fixed_key("definitions").begin_array();
        for (const Definition& d : model.definitions_of(block)) {
            json.begin_object()
                .members(fields.of(*d.file, false))
                .fixed_key("size")
                .value(d.size)
                .fixed_key("size_exact")
                .value(d.size_exact)
                .end_object();
        }
        json.end_array();
        json.end_object();
    });
}

void write_findings(JsonWriter& json, const std::vector<findings::Finding>& found) {
    json.fixed_key("findings").begin_array();
    for (const findings::Finding& f : found) {
        json.newline().begin_object().fixed_key("rule").value(f.rule->id);
        json.fixed_key("level").value(findings::level_text(f.rule->level)).fixed_key("block");
        if (f.block.empty())
            json.null();
        else
            json.value(f.block);
        json.fixed_key("modules").begin_array();
        for (const FileEntry* m : f.modules) json.value(module_path(*m));
        json.end_array().fixed_key("message").value(f.message).fixed_key("fingerprint").value(f.fingerprint);
        json.fixed_key("baselined").value(f.baselined).end_object();
    }
    json.end_array();
}

}  // namespace

void json_report(std::FILE* out, const AnalysisModel& model, const ui::FileList& files,
                 const std::vector<std::string>& messages, bool completed,
                 const std::vector<findings::Finding>& found) {
    JsonWriter json(out);
    json.begin_object().newline().fixed_key("completed").value(completed).newline();
    json.fixed_key("inputs").begin_array();
    for (const FileEntry* e : files.entries()) {
        json.newline().begin_object().fixed_key("full_path").value(e->full_path);
        json.fixed_key("display_name").value(e->display_name);
        json.fixed_key("duplicate_ordinal").value(std::int64_t{e->duplicate_ordinal}).end_object();
    }
    json.end_array().newline().fixed_key("messages").begin_array();
    for (const std::string& m : messages) json.newline().value(m);
    json.end_array().newline().fixed_key("blocks").begin_array();
    FileFields fields;
    write_blocks(json, model, fields);
    json.end_array().newline().fixed_key("procedures").begin_array();
    write_procedures(json, model, fields);
    json.end_array().newline();
    write_findings(json, found);
    json.newline().end_object().newline();
    json.flush();
}

}  // namespace quorv::cli
