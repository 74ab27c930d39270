// One object module (ELF, or COFF when the bytes do not start like ELF) through its reader,
// then the layouts of its COMMON blocks from the debug information the reader collected,
// and every pair of them compared. The layouts must hold together whatever the bytes: a
// reason exactly when the reading fails, runs sorted and naming members that exist, a
// conflict naming members of both sides; and the same whether the relocations are read
// where they lie or decoded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/dwarf/common_layouts.h"
#include "engine/elf_reader.h"
#include "engine/input_stream.h"
#include "engine/object_reader.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_dwarf: %s\n", what);
    std::abort();
}

void check_layout(const quorv::dwarf::CommonLayout& layout) {
    using quorv::dwarf::SlotRun;
    require(!layout.members.empty(), "a layout without members");
    require(std::is_sorted(layout.runs.begin(), layout.runs.end(),
                           [](const SlotRun& a, const SlotRun& b) { return a.offset < b.offset; }),
            "runs not sorted by offset");
    for (const SlotRun& r : layout.runs) {
        require(r.member < layout.members.size(), "a run naming no member");
        require(r.count > 0 && r.size > 0, "an empty run");
    }
}

void check_layouts(const quorv::dwarf::DebugInput& debug) {
    using namespace quorv::dwarf;
    std::vector<CommonLayout> layouts;
    std::string reason;
    std::vector<std::string> dropped;
    const bool ok = read_common_layouts(debug, layouts, reason, &dropped);
    require(ok == reason.empty(), "a reason exactly when the reading fails");
    require(ok || (layouts.empty() && dropped.empty()), "layouts kept from unreadable debug information");
    for (const CommonLayout& a : layouts) {
        check_layout(a);
        for (const CommonLayout& b : layouts) {
            const Comparison c = compare_layouts(a, b);
            if (c.outcome == Compatibility::Conflicting) {
                require(c.conflict.member_a < a.members.size() && c.conflict.member_b < b.members.size(),
                        "a conflict naming no member");
            }
            require(c.steps <= kMaxCompareSteps, "a comparison past its step limit");
            require(same_layout(a, b) == (!layout_less(a, b) && !layout_less(b, a)),
                    "same_layout and layout_less disagree");
        }
    }
    // Relocations read where the object keeps them give what the same ones decoded give.
    if (std::none_of(std::begin(debug.records), std::end(debug.records),
                     [](const RelocationRecords& r) { return !r.empty(); }))
        return;
    DebugInput decoded = debug;
    decoded.decode_relocations();
    std::vector<CommonLayout> again;
    std::string reason_again;
    std::vector<std::string> dropped_again;
    const bool ok_again = read_common_layouts(decoded, again, reason_again, &dropped_again);
    require(ok_again == ok && reason_again == reason && dropped_again == dropped && again.size() == layouts.size(),
            "relocations in place and decoded give different readings");
    for (std::size_t k = 0; k < layouts.size(); ++k)
        require(same_layout(layouts[k], again[k]) && layouts[k].file == again[k].file &&
                    layouts[k].line == again[k].line && layouts[k].subprogram == again[k].subprogram,
                "relocations in place and decoded give different layouts");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorv;
    static const FileEntry entry{"/fuzz/module.o", "module.o", 0};
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    MemoryStream stream({data, size});
    if (size >= 4 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
        ElfWorkingSet work;
        read_elf_module(diagnostics, stream, entry, 0, size, work);
        check_layouts(work.debug);
    } else {
        ModuleWorkingSet work;
        read_object_module(diagnostics, stream, entry, 0, work);
        check_layouts(work.debug);
    }
    return 0;
}
