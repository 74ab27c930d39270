#include "cli/json_report.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "cli/json_writer.h"
#include "engine/model_walks.h"
#include "engine/ordered_handoff.h"

namespace quorv::cli {
namespace {

void write_file_fields(JsonWriter& json, const FileEntry& file, bool ordinal) {
    json.fixed_key("file").value(file.display_name).fixed_key("full_path").value(file.full_path);
    if (ordinal) json.fixed_key("duplicate_ordinal").value(std::int64_t{file.duplicate_ordinal});
}

// The file members that every declaration (or procedure) of one module repeats, written
// once per module before the report, held together in one text and found through a small
// open-addressed table keyed by entry. Only read while the pieces are written.
class FileFields {
  public:
    FileFields(const std::vector<const FileEntry*>& inputs, const AnalysisModel& model) {
        const std::size_t count = inputs.size() + model.member_entries().size();
        std::size_t size = 64;
        while (size < 2 * count) size *= 2;
        slots_.resize(size);
        JsonWriter members;
        for (const FileEntry* file : inputs) add(*file, members);
        for (const auto& member : model.member_entries()) add(*member, members);
    }

    // With the duplicate ordinal or without. A file not met when this was built (none is)
    // is written into scratch instead.
    std::string_view of(const FileEntry& file, bool ordinal, JsonWriter& scratch) const {
        const Slot& slot = slots_[find(slots_, &file)];
        // Not met, or too long to hold here.
        if (slot.file == nullptr || slot.size == 0) return write(file, ordinal, scratch);
        return std::string_view(text_).substr(slot.offset, ordinal ? slot.size : slot.size_without_ordinal);
    }

  private:
    // Sixteen bytes, so the table of 20,000 files stays within a core's cache; members too
    // long for it are written each time instead.
    struct Slot {
        const FileEntry* file = nullptr;
        std::uint32_t offset = 0;
        std::uint16_t size = 0;
        std::uint16_t size_without_ordinal = 0;
    };
    static std::string_view write(const FileEntry& file, bool ordinal, JsonWriter& members) {
        members.clear();
        members.begin_object();
        write_file_fields(members, file, ordinal);
        members.end_object();
        return members.members_text();
    }
    void add(const FileEntry& file, JsonWriter& members) {
        Slot& slot = slots_[find(slots_, &file)];
        if (slot.file != nullptr) return;
        // The members without the ordinal are the same text cut before it.
        const std::size_t without = write(file, false, members).size();
        const std::string_view made = write(file, true, members);
        if (made.size() > 0xFFFF || text_.size() > 0xFFFFFFFFu - made.size()) {
            slot = Slot{&file, 0, 0, 0};
            return;
        }
        slot = Slot{&file, static_cast<std::uint32_t>(text_.size()), static_cast<std::uint16_t>(made.size()),
                    static_cast<std::uint16_t>(without)};
        text_.append(made);
    }
    static std::size_t find(const std::vector<Slot>& slots, const FileEntry* file) {
        const std::size_t mask = slots.size() - 1;
        std::size_t at = (reinterpret_cast<std::uintptr_t>(file) * 0x9E3779B97F4A7C15ull >> 20) & mask;
        while (slots[at].file != nullptr && slots[at].file != file) at = (at + 1) & mask;
        return at;
    }

    std::vector<Slot> slots_;
    std::string text_;
};

// The blocks array, then the procedures array, cut into pieces of a fixed number of
// elements. Any piece can be written by itself once both lists are sorted.
class Pieces {
  public:
    Pieces(const AnalysisModel& model, const JsonPieceShape& shape)
        : model_(model),
          blocks_per_piece_(std::max<std::size_t>(1, shape.blocks_per_piece)),
          procedures_per_piece_(std::max<std::size_t>(1, shape.procedures_per_piece)),
          block_pieces_(pieces_for(model.block_list().size(), blocks_per_piece_)),
          procedure_pieces_(pieces_for(model.procedure_list().size(), procedures_per_piece_)) {}

    std::size_t count() const { return block_pieces_ + procedure_pieces_; }
    std::size_t block_pieces() const { return block_pieces_; }
    bool starts_an_array(std::size_t piece) const { return piece == 0 || piece == block_pieces_; }

    // What one writer needs: the shared file members, and room of its own for any other.
    struct Fields {
        const FileFields& shared;
        JsonWriter scratch;
        std::string_view of(const FileEntry& file, bool ordinal) { return shared.of(file, ordinal, scratch); }
        // Room for a declaration's layouts, apart from the file members above.
        JsonWriter layout_writer;
        std::string layout_text;
    };

    void write(JsonWriter& json, std::size_t piece, Fields& fields) const {
        if (piece < block_pieces_) {
            write_blocks(json, piece * blocks_per_piece_, (piece + 1) * blocks_per_piece_, fields);
        } else {
            const std::size_t first = (piece - block_pieces_) * procedures_per_piece_;
            write_procedures(json, first, first + procedures_per_piece_, fields);
        }
    }

  private:
    static std::size_t pieces_for(std::size_t elements, std::size_t per_piece) {
        return elements / per_piece + (elements % per_piece != 0 ? 1 : 0);
    }

    void write_blocks(JsonWriter& json, std::size_t first, std::size_t last, Fields& fields) const {
        for_each_block_with_conflict(model_, first, last, [&](const CommonBlock& block, const ProcedureEntry* p) {
            json.newline().begin_object().fixed_key("name").value(block.name);
            json.fixed_key("sizes_agree").value(block.sizes_agree).fixed_key("problem").value(is_problem(block, p));
            json.fixed_key("declarations").begin_array();
            // A declaration is the same few pieces every time: put together in one write.
            const std::span<const ModuleLayout> layouts = model_.layouts_of(block);
            for (const ObjectRef& d : block.declarations) {
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits, d.size).ptr;
                json.raw_element({"{\"size\":", std::string_view(digits, static_cast<std::size_t>(end - digits)),
                                  d.initialized ? ",\"initialized\":true," : ",\"initialized\":false,",
                                  fields.of(*d.file, true),
                                  layouts.empty() ? std::string_view(",\"layouts\":[],\"source\":[]")
                                                  : layouts_text(layouts, *d.file, fields),
                                  "}"});
            }
            json.end_array().fixed_key("conflict");
            if (p != nullptr) {
                json.begin_object().fixed_key("procedure").value(p->name);
                json.fixed_key("file").value(p->defining_object.file->display_name).end_object();
            } else {
                json.null();
            }
            json.fixed_key("definitions").begin_array();
            for (const Definition& d : model_.definitions_of(block)) {
                json.begin_object().members(fields.of(*d.file, false)).fixed_key("size").value(d.size);
                json.fixed_key("size_exact").value(d.size_exact).end_object();
            }
            json.end_array();
            json.end_object();
        });
    }

    // The declaring module's layouts of the block (identical ones once) and where each is
    // declared, as members of the declaration: held in fields until its next use.
    static std::string_view layouts_text(std::span<const ModuleLayout> layouts, const FileEntry& file, Fields& fields) {
        JsonWriter& scratch = fields.layout_writer;
        std::vector<const dwarf::CommonLayout*> mine;
        for (const ModuleLayout& m : layouts) {
            if (m.file != &file) continue;
            const bool seen = std::any_of(mine.begin(), mine.end(), [&](const dwarf::CommonLayout* l) {
                return dwarf::same_layout(*l, m.layout);
            });
            if (!seen) mine.push_back(&m.layout);
        }
        scratch.clear();
        scratch.begin_object().fixed_key("layouts").begin_array();
        for (const dwarf::CommonLayout* l : mine) {
            scratch.begin_array();
            for (const dwarf::Member& member : l->members) {
                scratch.begin_object().fixed_key("name").value(member.name).fixed_key("offset").value(member.offset);
                scratch.fixed_key("size").value(member.size).fixed_key("type").value(member.type).end_object();
            }
            scratch.end_array();
        }
        scratch.end_array().fixed_key("source").begin_array();
        for (const dwarf::CommonLayout* l : mine)
            scratch.begin_object().fixed_key("file").value(l->file).fixed_key("line").value(l->line).end_object();
        scratch.end_array().end_object();
        // The members without their braces, after the comma that joins them to the others.
        fields.layout_text.assign(",").append(scratch.members_text());
        return fields.layout_text;
    }

    void write_procedures(JsonWriter& json, std::size_t first, std::size_t last, Fields& fields) const {
        const ProcedureList& procedures = model_.procedure_list();
        last = std::min(last, procedures.size());
        for (auto it = procedures.begin() + static_cast<std::ptrdiff_t>(first);
             it != procedures.begin() + static_cast<std::ptrdiff_t>(last); ++it) {
            json.newline().begin_object().fixed_key("name").value(it->name);
            json.members(fields.of(*it->defining_object.file, false)).end_object();
        }
    }

    const AnalysisModel& model_;
    std::size_t blocks_per_piece_;
    std::size_t procedures_per_piece_;
    std::size_t block_pieces_;
    std::size_t procedure_pieces_;
};

// The odd pieces, made on a second thread into two buffers taken in turn, while the report
// writes the even ones itself: at most two pieces wait, so memory stays small.
class OddPieces {
  public:
    OddPieces(const Pieces& pieces, const FileFields& shared)
        : pieces_(pieces), fields_{shared, {}, {}, {}}, ring_(2, 0), worker_([this] { make_all(); }) {}
    ~OddPieces() {
        ring_.stop();
        worker_.join();
    }
    OddPieces(const OddPieces&) = delete;
    OddPieces& operator=(const OddPieces&) = delete;

    // The text of the next odd piece, valid until release. Rethrows what the thread met.
    std::string_view wait() { return ring_.take().view(); }
    void release() { ring_.give_back(); }

  private:
    void make_all() {
        try {
            for (std::size_t piece = 1; piece < pieces_.count(); piece += 2) {
                JsonWriter* json = ring_.next_free();
                if (json == nullptr) return;
                json->clear();
                json->resume_array(!pieces_.starts_an_array(piece));
                pieces_.write(*json, piece, fields_);
                ring_.made(0);
            }
        } catch (...) {
            ring_.fail(std::current_exception());
        }
    }

    const Pieces& pieces_;
    Pieces::Fields fields_;
    OrderedHandoff<JsonWriter> ring_;
    std::thread worker_;
};

void write_pieces(JsonWriter& json, const Pieces& pieces, const FileFields& shared, std::size_t for_a_thread) {
    Pieces::Fields fields{shared, {}, {}, {}};
    std::unique_ptr<OddPieces> odd;
    if (pieces.count() >= for_a_thread) {
        try {
            odd = std::make_unique<OddPieces>(pieces, shared);
        } catch (const std::system_error&) {
            // No second thread: every piece is written here.
        }
    }
    // The procedures array opens after the last block piece, also when no piece follows.
    for (std::size_t piece = 0; piece <= pieces.count(); ++piece) {
        if (piece == pieces.block_pieces()) json.end_array().newline().fixed_key("procedures").begin_array();
        if (piece == pieces.count()) break;
        if (odd && piece % 2 == 1) {
            json.raw_elements(odd->wait());
            odd->release();
        } else {
            pieces.write(json, piece, fields);
        }
    }
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
                 const std::vector<std::string>& messages, bool completed, const std::vector<findings::Finding>& found,
                 const JsonPieceShape& shape) {
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
    // Both lists sorted here, before any piece is written: from then on the model is only read.
    const Pieces pieces(model, shape);
    const std::vector<const FileEntry*> inputs = files.entries();
    const FileFields shared(inputs, model);
    write_pieces(json, pieces, shared, shape.pieces_for_a_second_thread);
    json.end_array().newline();
    write_findings(json, found);
    json.newline().end_object().newline();
    json.flush();
}

}  // namespace quorv::cli
