#include "findings/findings.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <utility>

#include "engine/entry_table.h"
#include "engine/messages.h"
#include "engine/model_walks.h"
#include "findings/fingerprint.h"

namespace quorv::findings {
namespace {

// The names and paths findings give their modules (module_name and module_path): an
// input's own, or for a library member made once.
class ModuleNames {
  public:
    std::string_view name(const FileEntry& file) {
        return file.library == nullptr ? std::string_view(file.display_name) : member(file).name;
    }
    std::string_view path(const FileEntry& file) {
        return file.library == nullptr ? std::string_view(file.full_path) : member(file).path;
    }

  private:
    struct Names {
        std::string name, path;
    };
    const Names& member(const FileEntry& file) {
        return members_.of(file, [](const FileEntry& f) { return Names{module_name(f), module_path(f)}; });
    }
    EntryTable<Names> members_;
};

// A number's decimal digits, held for a message or a fingerprint without an allocation.
class Digits {
  public:
    explicit Digits(std::uint64_t n)
        : size_(static_cast<std::size_t>(std::to_chars(text_, text_ + 24, n).ptr - text_)) {}
    std::string_view view() const { return std::string_view(text_, size_); }

  private:
    char text_[24];
    std::size_t size_;
};

// Sorts names in place.
std::string join_sorted(std::vector<std::string_view>& names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string out;
    for (const std::string_view n : names) {
        if (!out.empty()) out += ", ";
        out += n;
    }
    return out;
}

void append_bytes(std::string& out, std::uint64_t size) {
    out.append(Digits(size).view()).append(size == 1 ? " byte" : " bytes");
}

std::string bytes_text(std::uint64_t size) {
    std::string out;
    append_bytes(out, size);
    return out;
}

class BlockRules {
  public:
    BlockRules(const AnalysisModel& model, ModuleNames& names, std::vector<Finding>& out)
        : model_(model), names_(names), out_(out) {}

    // conflict: the block's first procedure of the same name, or none.
    void check(const CommonBlock& block, const ProcedureEntry* conflict) {
        // Size 0 is an undefined reference, not a COMMON declaration: no rule counts it.
        // Declarations are held largest first, so the sizes agree when the last one is the largest.
        const auto& all = block.declarations;
        if (all.front().size == 0) return;
        const bool agree = all.back().size == all.front().size;
        const std::span<const Definition> definitions = model_.definitions_of(block);
        layouts_ = model_.layouts_of(block);
        if (agree && conflict == nullptr && definitions.empty() && layouts_.empty()) return;
        declared_.clear();
        for (const ObjectRef& d : all)
            if (d.size != 0) declared_.push_back(&d);
        largest_ = declared_.front()->size;
        name_ = fortran_block_name(block.name);
        const std::size_t first = out_.size();
        const bool prefix_view = layout_rules(block, !agree && !is_blank_common(block.name));
        if (!prefix_view) size_mismatch(block);
        if (conflict != nullptr) named_like_procedure(block);
        initializers(block);
        for (std::size_t k = first; k < out_.size(); ++k) place_in_source(out_[k]);
    }

  private:
    Finding& add(const Rule* rule, const CommonBlock& block) {
        Finding& f = out_.emplace_back();
        f.rule = rule;
        f.block = block.name;
        return f;
    }
    std::string_view name_of(const FileEntry& file) { return names_.name(file); }

    void size_mismatch(const CommonBlock& block) {
        if (is_blank_common(block.name)) return;
        std::vector<const Definition*> larger;
        for (const Definition& d : model_.definitions_of(block))
            if (d.size_exact && d.size > largest_) larger.push_back(&d);
        if (declared_.back()->size == largest_ && larger.empty()) return;
        static const Rule* const kRule = find_rule("common-size-mismatch");
        Finding& f = add(kRule, block);
        // Each size once, largest first, with the first module that declares it.
        std::string sizes, sizes_key;
        for (std::size_t k = 0; k < declared_.size();) {
            std::size_t same = k;
            while (same < declared_.size() && declared_[same]->size == declared_[k]->size) ++same;
            if (!sizes.empty()) sizes += ", ";
            append_bytes(sizes, declared_[k]->size);
            sizes.append(" in ").append(name_of(*declared_[k]->file));
            if (same - k > 1) sizes.append(" and ").append(Digits(same - k - 1).view()).append(" more");
            sizes_key.append(Digits(declared_[k]->size).view()).append(" ");
            for (std::size_t m = k; m < same; ++m) f.modules.push_back(declared_[m]->file);
            k = same;
        }
        f.message = "COMMON block " + name_ + " is declared with different sizes: " + sizes;
        if (declared_.back()->size == largest_) f.message = "COMMON block " + name_ + " is declared with " + sizes;
        for (const Definition* d : larger) {
            f.message.append("; it is initialized with ");
            append_bytes(f.message, d->size);
            f.message.append(" in ").append(name_of(*d->file));
            f.modules.push_back(d->file);
            sizes_key.append("=").append(Digits(d->size).view()).append(" ");
        }
        f.fingerprint = fingerprint({f.rule->id, block.name, sizes_key});
    }

    void named_like_procedure(const CommonBlock& block) {
        const ProcedureList& procedures = model_.procedure_list();
        const auto [first, last] =
            std::equal_range(procedures.begin(), procedures.end(), block.name, [](const auto& a, const auto& b) {
                if constexpr (std::is_same_v<std::decay_t<decltype(a)>, ProcedureEntry>)
                    return compare_names(a.name, b) < 0;
                else
                    return compare_names(a, b.name) < 0;
            });
        if (first == last) return;
        static const Rule* const kRule = find_rule("common-named-like-procedure");
        Finding& f = add(kRule, block);
        std::vector<std::string_view> names;
        for (auto it = first; it != last; ++it) {
            names.push_back(name_of(*it->defining_object.file));
            f.modules.push_back(it->defining_object.file);
        }
        for (const ObjectRef* d : declared_) f.modules.push_back(d->file);
        const std::string defined_in = join_sorted(names);
        f.message = "COMMON block " + name_ + " has the name of a procedure defined in " + defined_in +
                    "; the linker lets one override the other";
        f.fingerprint = fingerprint({f.rule->id, block.name, defined_in});
    }

    void initializers(const CommonBlock& block) {
        const std::span<const Definition> definitions = model_.definitions_of(block);
        // Declarations are held largest first: the largest ones lead.
        std::size_t largest_count = 0;
        while (largest_count < declared_.size() && declared_[largest_count]->size == largest_) ++largest_count;
        const std::string_view declarer = name_of(*declared_.front()->file);
        for (const Definition& d : definitions) {
            if (d.size >= largest_) continue;
            static const Rule* const kRule = find_rule("initializer-smaller-than-declaration");
            Finding& f = add(kRule, block);
            f.primary = d.file;
            f.modules.reserve(1 + largest_count);
            f.modules.push_back(d.file);
            for (std::size_t k = 0; k < largest_count; ++k) f.modules.push_back(declared_[k]->file);
            const std::string_view definer = name_of(*d.file);
            std::string& m = f.message;
            m.reserve(80 + name_.size() + definer.size() + declarer.size());
            m.append("COMMON block ").append(name_).append(" is initialized with ");
            if (!d.size_exact) m.append("at most ");
            append_bytes(m, d.size);
            m.append(" in ").append(definer).append(" but declared with ");
            append_bytes(m, largest_);
            m.append(" in ").append(declarer);
            f.fingerprint =
                fingerprint({f.rule->id, block.name, definer, Digits(d.size).view(), Digits(largest_).view()});
        }
        if (definitions.size() < 2) return;
        std::vector<std::string_view>& definers = definers_;
        std::vector<std::string_view>& paths = paths_;
        definers.clear();
        paths.clear();
        for (const Definition& d : definitions) {
            definers.push_back(name_of(*d.file));
            paths.push_back(d.file->full_path);
        }
        std::sort(paths.begin(), paths.end());
        const auto distinct = static_cast<std::size_t>(std::unique(paths.begin(), paths.end()) - paths.begin());
        if (distinct < 2) return;
        static const Rule* const kRule = find_rule("common-initialized-twice");
        Finding& f = add(kRule, block);
        f.modules.reserve(definitions.size());
        for (const Definition& d : definitions) f.modules.push_back(d.file);
        const std::string where = join_sorted(definers);
        f.message.append("COMMON block ")
            .append(name_)
            .append(" is initialized in ")
            .append(Digits(distinct).view())
            .append(" modules: ")
            .append(where);
        f.fingerprint = fingerprint({f.rule->id, block.name, where});
    }

    // The layout rules; true when the block's declarations differ in size (sizes_differ) only
    // as shorter views of compatible layouts (which then replaces the size finding).
    bool layout_rules(const CommonBlock& block, bool sizes_differ) {
        if (layouts_.empty()) return false;
        // Each distinct layout once, with the first module that has it.
        std::vector<const ModuleLayout*> distinct;
        for (const ModuleLayout& m : layouts_) {
            const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const ModuleLayout* d) {
                return dwarf::same_layout(*d->layout, *m.layout);
            });
            if (!seen) distinct.push_back(&m);
        }
        std::sort(distinct.begin(), distinct.end(), [](const ModuleLayout* a, const ModuleLayout* b) {
            return dwarf::layout_less(*a->layout, *b->layout);
        });
        bool decided = true;
        const ModuleLayout* side_a = nullptr;
        const ModuleLayout* side_b = nullptr;
        dwarf::Conflict first{};
        for (std::size_t i = 0; i < distinct.size(); ++i) {
            for (std::size_t j = i + 1; j < distinct.size(); ++j) {
                const dwarf::Comparison c = dwarf::compare_layouts(*distinct[i]->layout, *distinct[j]->layout);
                if (c.outcome == dwarf::Compatibility::Undecided) decided = false;
                if (c.outcome != dwarf::Compatibility::Conflicting) continue;
                if (side_a == nullptr || c.conflict.byte < first.byte) {
                    side_a = distinct[i];
                    side_b = distinct[j];
                    first = c.conflict;
                }
            }
        }
        if (side_a != nullptr) {
            layout_mismatch(block, *side_a, *side_b, first, distinct);
            return false;
        }
        // Shorter views: every declaring module has a layout, and all of them agree.
        if (!sizes_differ || !decided) return false;
        for (const ObjectRef* d : declared_) {
            const bool has = std::any_of(layouts_.begin(), layouts_.end(), [&](const ModuleLayout& m) {
                return m.file == d->file && !m.layout->aliased;
            });
            if (!has) return false;
        }
        static const Rule* const kRule = find_rule("common-prefix-view");
        Finding& f = add(kRule, block);
        for (const ObjectRef* d : declared_) f.modules.push_back(d->file);
        f.message = "COMMON block " + name_ + " is declared with " + bytes_text(largest_) + " in " +
                    std::string(name_of(*declared_.front()->file)) + " and shorter in " +
                    std::to_string(declared_.size() - 1) + " more, with the same members wherever they overlap";
        f.fingerprint = fingerprint({f.rule->id, block.name, layouts_key(distinct)});
        return true;
    }

    static std::string layouts_key(const std::vector<const ModuleLayout*>& distinct) {
        std::string key;
        for (const ModuleLayout* m : distinct) {
            for (const dwarf::Member& member : m->layout->members)
                key += member.name + ":" + std::to_string(member.offset) + ":" + std::to_string(member.size) + ":" +
                       member.type + ";";
            key += "|";
        }
        return key;
    }

    std::string side_text(const ModuleLayout& m, std::uint32_t member) {
        const dwarf::Member& x = m.layout->members.at(member);
        std::string text = x.name + " " + x.type + " in " + std::string(name_of(*m.file));
        if (!m.source_file.empty())
            text += " (" + std::filesystem::path(m.source_file).filename().string() + ":" +
                    std::to_string(m.source_line) + ")";
        return text;
    }

    void layout_mismatch(const CommonBlock& block, const ModuleLayout& a, const ModuleLayout& b,
                         const dwarf::Conflict& c, const std::vector<const ModuleLayout*>& distinct) {
        static const Rule* const kRule = find_rule("common-layout-mismatch");
        Finding& f = add(kRule, block);
        f.primary = a.file;
        f.modules.push_back(a.file);
        f.modules.push_back(b.file);
        f.message = "COMMON block " + name_ + " has conflicting layouts: at byte " + std::to_string(c.byte) + ", " +
                    side_text(a, c.member_a) + " but " + side_text(b, c.member_b);
        f.source_file = a.source_file;
        f.source_line = a.source_line;
        f.fingerprint = fingerprint({f.rule->id, block.name, layouts_key(distinct)});
    }

    // A finding about a block points at the block's declaration in the source where its
    // module (the primary one, else the first by path) has a layout that gives the line.
    void place_in_source(Finding& f) {
        if (!f.source_file.empty() || f.block.empty() || layouts_.empty()) return;
        // The module the finding will be placed at: ties of path broken as the modules are settled.
        const FileEntry* where = f.primary;
        for (const FileEntry* m : f.modules)
            if (where == nullptr ||
                (f.primary == nullptr && std::pair(names_.path(*m), m) < std::pair(names_.path(*where), where)))
                where = m;
        for (const ModuleLayout& m : layouts_) {
            if (m.file != where || m.source_file.empty()) continue;
            f.source_file = m.source_file;
            f.source_line = m.source_line;
            return;
        }
    }

    const AnalysisModel& model_;
    ModuleNames& names_;
    std::vector<Finding>& out_;
    std::vector<const ObjectRef*> declared_;
    std::span<const ModuleLayout> layouts_;
    std::uint64_t largest_ = 0;
    std::string name_;
    std::vector<std::string_view> definers_, paths_;
};

bool header_note(std::string_view text) {
    return text == msg::kBadMachine || text == msg::kBadTimeStamp || text == msg::kBadSubsystem;
}

// A message as it reads for a person: without the line feeds around it.
std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    return text;
}

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void debug_findings(const AnalysisModel& model, ModuleNames& names, std::vector<Finding>& out) {
    for (const DebugProblem& p : model.debug_problems()) {
        Finding& f = out.emplace_back();
        f.rule = find_rule("debug-info-unreadable");
        f.primary = p.file;
        if (p.file != nullptr) f.modules.push_back(p.file);
        const std::string_view where = p.file == nullptr ? std::string_view() : names.name(*p.file);
        f.message.append("The debug information of ").append(where).append(" cannot be read: ").append(p.reason);
        f.fingerprint = fingerprint({f.rule->id, where, p.reason});
    }
}

void message_findings(const RunMessages& messages, bool completed, ModuleNames& names, std::vector<Finding>& out) {
    const std::size_t count = messages.texts.size();
    for (std::size_t k = 0; k < count; ++k) {
        const bool stop = !completed && k + 1 == count;
        const std::string_view text = trimmed(messages.texts[k]);
        const FileEntry* input = k < messages.inputs.size() ? messages.inputs[k] : nullptr;
        Finding& f = out.emplace_back();
        f.rule = find_rule(stop                             ? "analysis-stopped"
                           : header_note(messages.texts[k]) ? "input-note"
                                                            : "input-diagnostic");
        f.primary = input;
        if (input != nullptr) f.modules.push_back(input);
        f.message = stop ? "The analysis stopped: " + std::string(text) : std::string(text);
        const std::string_view where = input == nullptr ? std::string_view() : names.name(*input);
        const std::string stable = input == nullptr
                                       ? std::string(text)
                                       : replace_all(std::string(text), input->full_path, input->display_name);
        f.fingerprint = fingerprint({f.rule->id, where, stable});
    }
    if (!completed && count == 0) {
        Finding& f = out.emplace_back();
        f.rule = find_rule("analysis-stopped");
        f.message = "The analysis stopped";
        f.fingerprint = fingerprint({f.rule->id});
    }
}

// Modules once each, in order of where they point (ties by entry); the primary is the
// initializer's or the first.
void settle_modules(Finding& f, ModuleNames& names, std::vector<std::pair<std::string_view, const FileEntry*>>& paths) {
    if (f.modules.size() > 1) {
        paths.clear();
        for (const FileEntry* m : f.modules) paths.emplace_back(names.path(*m), m);
        std::sort(paths.begin(), paths.end());
        f.modules.clear();
        for (std::size_t k = 0; k < paths.size(); ++k)
            if (k == 0 || paths[k].first != paths[k - 1].first) f.modules.push_back(paths[k].second);
    }
    if (f.primary == nullptr && !f.modules.empty()) f.primary = f.modules.front();
}

// The findings of one block (or of the run's messages), given on in report order: by rule,
// then by where each points.
class Settler {
  public:
    Settler(ModuleNames& names, const std::vector<const Rule*>& ignored, const std::function<void(Finding&)>& visit)
        : names_(names), ignored_(ignored), visit_(visit) {}

    void give_on(std::vector<Finding>& group) {
        std::erase_if(group, [&](const Finding& f) {
            return std::find(ignored_.begin(), ignored_.end(), f.rule) != ignored_.end();
        });
        for (Finding& f : group) settle_modules(f, names_, module_paths_);
        // Where each finding points, its path made once: the source file's path where the
        // debug information gives one, else the module's.
        source_paths_.clear();
        source_paths_.reserve(group.size());
        paths_.clear();
        for (const Finding& f : group) {
            if (!f.source_file.empty())
                paths_.push_back(source_paths_.emplace_back(source_path(f.source_file)));
            else
                paths_.push_back(f.primary == nullptr ? std::string_view("quorv-check") : names_.path(*f.primary));
        }
        order_.resize(group.size());
        for (std::size_t k = 0; k < order_.size(); ++k) order_[k] = k;
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t i, std::size_t j) {
            if (group[i].rule->id != group[j].rule->id) return group[i].rule->id < group[j].rule->id;
            return paths_[i] < paths_[j];
        });
        for (const std::size_t k : order_) visit_(group[k]);
        group.clear();
    }

  private:
    ModuleNames& names_;
    const std::vector<const Rule*>& ignored_;
    const std::function<void(Finding&)>& visit_;
    std::vector<std::pair<std::string_view, const FileEntry*>> module_paths_;
    std::vector<std::string> source_paths_;
    std::vector<std::string_view> paths_;
    std::vector<std::size_t> order_;
};

}  // namespace

bool is_blank_common(std::string_view symbol) {
    return symbol == "__BLNK__" || symbol == "___BLNK__" || symbol == "_BLNK__";
}

std::string fortran_block_name(std::string_view symbol) {
    if (is_blank_common(symbol)) return "blank COMMON";
    std::string_view name = symbol;
    // gfortran, flang and Intel append one underscore; i686 COFF puts one in front as well.
    if (name.size() >= 2 && name.back() == '_' && name[name.size() - 2] != '_') {
        name.remove_suffix(1);
        if (name.size() >= 2 && name.front() == '_' && name[1] != '_') name.remove_prefix(1);
        std::string upper(name);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return "/" + upper + "/";
    }
    return "/" + std::string(symbol) + "/";
}

std::string finding_path(const Finding& f) {
    std::string out;
    append_finding_path(out, f);
    return out;
}

void append_finding_path(std::string& out, const Finding& f) {
    if (!f.source_file.empty())
        out.append(source_path(f.source_file));
    else if (f.primary == nullptr)
        out.append("quorv-check");
    else if (f.primary->library == nullptr)
        out.append(f.primary->full_path);
    else
        out.append(module_path(*f.primary));
}

std::uint64_t finding_line(const Finding& f) {
    return f.source_file.empty() ? 1 : f.source_line;
}

std::string source_path(std::string_view path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path given(path);
    if (!given.is_absolute()) return given.lexically_normal().generic_string();
    const fs::path here = fs::current_path(ec);
    if (ec) return std::string(path);
    const fs::path relative = given.lexically_normal().lexically_relative(here);
    if (relative.empty() || *relative.begin() == "..") return std::string(path);
    return relative.generic_string();
}

void for_each_finding(const AnalysisModel& model, const RunMessages& messages, bool completed,
                      const std::vector<const Rule*>& ignored, const std::function<void(Finding&)>& visit) {
    ModuleNames names;
    Settler settler(names, ignored, visit);
    std::vector<Finding> group;
    // The messages' findings have no block and come first; then block by block, in the
    // blocks' name order.
    message_findings(messages, completed, names, group);
    debug_findings(model, names, group);
    settler.give_on(group);
    BlockRules rules(model, names, group);
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* conflict) {
        rules.check(block, conflict);
        if (!group.empty()) settler.give_on(group);
    });
}

std::vector<Finding> find_all(const AnalysisModel& model, const RunMessages& messages, bool completed,
                              const std::vector<const Rule*>& ignored) {
    std::vector<Finding> out;
    for_each_finding(model, messages, completed, ignored, [&](Finding& f) { out.push_back(std::move(f)); });
    return out;
}

}  // namespace quorv::findings
