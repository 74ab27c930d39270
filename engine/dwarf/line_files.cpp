#include "engine/dwarf/line_files.h"

#include <cstring>

#include "engine/dwarf/die_reader.h"
#include "engine/dwarf/forms.h"

namespace quorv::dwarf {
namespace {

// Line table header: unit_length (as a unit's) | version u16 | v5: address_size u8,
// segment_selector_size u8 | header_length (offset-sized) | minimum_instruction_length u8 |
// v4+: maximum_operations_per_instruction u8 | default_is_stmt u8 | line_base s8 |
// line_range u8 | opcode_base u8 | standard_opcode_lengths (opcode_base - 1 bytes), then
//   v2-4: include_directories (strings, ending with an empty one), file_names (string,
//         directory ULEB128, time ULEB128, length ULEB128; ending with an empty string)
//   v5:   directory and file tables, each a count of entry formats u8, the formats
//         (content type ULEB128, form ULEB128), a count ULEB128 and the entries.
constexpr std::uint64_t kContentPath = 1;
constexpr std::uint64_t kContentDirectoryIndex = 2;
constexpr std::uint32_t k64BitLength = 0xFFFFFFFFu;

bool absolute(std::string_view p) {
    return (!p.empty() && (p[0] == '/' || p[0] == '\\')) ||
           (p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')));
}

// A path string of an entry: inline, or in .debug_line_str or .debug_str.
std::string_view text_of(DebugSections& sections, const FormValue& v) {
    if (v.kind == ValueKind::String) return v.text;
    if (v.kind != ValueKind::StringOffset) return {};
    std::string ignored;
    if (!sections.load(v.string_section, ignored)) return {};
    const std::span<const std::uint8_t> bytes = sections.bytes(v.string_section);
    if (v.number >= bytes.size()) return {};
    const auto* first = bytes.data() + static_cast<std::size_t>(v.number);
    const std::size_t looked = std::min(bytes.size() - static_cast<std::size_t>(v.number), kMaxNameLength);
    const void* zero = std::memchr(first, 0, looked);
    if (zero == nullptr) return {};
    return {reinterpret_cast<const char*>(first),
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first)};
}

struct EntryFormat {
    std::uint64_t content;
    std::uint64_t form;
};

}  // namespace

std::string join_path(std::string_view a, std::string_view b) {
    if (b.empty()) return std::string(a);
    if (a.empty() || a == "." || absolute(b)) return std::string(b);
    if (a.back() == '/' || a.back() == '\\') return std::string(a) + std::string(b);
    const char separator = a.find('\\') != std::string_view::npos && a.find('/') == std::string_view::npos ? '\\' : '/';
    return std::string(a) + separator + std::string(b);
}

bool LineFiles::read(DebugSections& sections, std::uint64_t offset) {
    std::string ignored;
    if (!sections.load(kLine, ignored)) return false;
    ByteCursor in = sections.cursor(kLine, offset);
    std::uint64_t length = in.u32();
    std::uint8_t offset_size = 4;
    if (length == k64BitLength) {
        length = in.u64();
        offset_size = 8;
    }
    if (!in.ok() || length > in.size() - in.position()) return false;
    in = in.ending_at(in.position() + length);
    version_ = in.u16();
    if (version_ < 2 || version_ > 5) return false;
    std::uint8_t address_size = 0;
    if (version_ >= 5) {
        address_size = in.u8();
        in.skip(1);
    }
    in.skip(offset_size);            // header_length
    in.skip(version_ >= 4 ? 5 : 4);  // up to line_range
    const std::uint8_t opcode_base = in.u8();
    in.skip(opcode_base > 0 ? opcode_base - 1u : 0u);
    const bool ok =
        version_ >= 5 ? read_v5_tables(sections, in, version_, address_size, offset_size) : read_old_tables(in);
    bytes_read_ = in.position() - offset;
    return ok && in.ok();
}

bool LineFiles::read_old_tables(ByteCursor& in) {
    for (std::string_view d = in.cstr(); in.ok() && !d.empty(); d = in.cstr()) directories_.push_back(d);
    for (std::string_view f = in.cstr(); in.ok() && !f.empty(); f = in.cstr()) {
        const std::uint64_t directory = in.uleb();
        in.uleb();  // modification time
        in.uleb();  // length
        files_.push_back(File{f, directory});
    }
    return in.ok();
}

bool LineFiles::read_v5_tables(DebugSections& sections, ByteCursor& in, std::uint16_t version,
                               std::uint8_t address_size, std::uint8_t offset_size) {
    const FormContext context{sections, kLine, UnitFormat{version, address_size, offset_size}};
    for (int table = 0; table < 2; ++table) {
        std::vector<EntryFormat> formats;
        for (unsigned k = in.u8(); k > 0 && in.ok(); --k) {
            const std::uint64_t content = in.uleb();
            formats.push_back(EntryFormat{content, in.uleb()});
        }
        const std::uint64_t count = in.uleb();
        for (std::uint64_t k = 0; k < count && in.ok(); ++k) {
            const std::uint64_t start = in.position();
            File entry;
            for (const EntryFormat& f : formats) {
                FormValue v;
                std::string ignored;
                if (!read_form(in, f.form, 0, context, start, v, ignored)) return false;
                if (f.content == kContentPath) entry.path = text_of(sections, v);
                if (f.content == kContentDirectoryIndex && v.is_constant()) entry.directory = v.number;
            }
            // An entry of no bytes would let a count in the file spin the loop.
            if (in.position() == start) return false;
            if (table == 0)
                directories_.push_back(entry.path);
            else
                files_.push_back(entry);
        }
    }
    return in.ok();
}

std::string LineFiles::path(std::uint64_t index, std::string_view comp_dir) const {
    // Before version 5, file 0 means none and directory 0 is the compilation directory.
    const bool old = version_ < 5;
    if (old && index == 0) return {};
    const std::uint64_t at = old ? index - 1 : index;
    if (at >= files_.size()) return {};
    const File& file = files_[static_cast<std::size_t>(at)];
    if (absolute(file.path)) return std::string(file.path);
    std::string_view directory;
    if (!old && file.directory < directories_.size())
        directory = directories_[static_cast<std::size_t>(file.directory)];
    if (old && file.directory > 0 && file.directory <= directories_.size())
        directory = directories_[static_cast<std::size_t>(file.directory - 1)];
    const std::string base = absolute(directory) ? std::string(directory) : join_path(comp_dir, directory);
    return join_path(base, file.path);
}

}  // namespace quorv::dwarf
