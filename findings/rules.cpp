#include "findings/rules.h"

#include <algorithm>
#include <iterator>

namespace quorv::findings {
namespace {

constexpr Rule kRules[] = {
    {"common-size-mismatch", "CommonSizeMismatch", Level::Warning,
     "A named COMMON block is declared with different sizes.",
     "The declarations of a named COMMON block do not all give it one size, or an initializer with an exact "
     "size is larger than every declaration. Blank COMMON is left out: Fortran lets it differ in size between "
     "program units.",
     "Make every program unit declare the block with the same members, for instance from one INCLUDE file. A "
     "shorter declaration that only views the leading members is harmless when that is what the program means."},
    {"common-named-like-procedure", "CommonNamedLikeProcedure", Level::Warning,
     "A COMMON block has the name of a procedure.",
     "A COMMON block and a SUBROUTINE or FUNCTION share one external name, so the linker lets one of them "
     "override the other.",
     "Rename the block or the procedure."},
    {"initializer-smaller-than-declaration", "InitializerSmallerThanDeclaration", Level::Error,
     "A COMMON block's initializer is smaller than its largest declaration.",
     "BLOCK DATA or DATA defines the block with fewer bytes than another module declares. The linker keeps the "
     "definition, and the larger declarer writes past its end.",
     "Make the BLOCK DATA unit declare the whole block, with the same members as its users."},
    {"common-initialized-twice", "CommonInitializedTwice", Level::Warning,
     "A COMMON block is initialized in more than one module.",
     "Two or more modules define the block's data (BLOCK DATA or DATA), so the program links in one order and "
     "not in another, or keeps one initializer silently.",
     "Initialize each block in one BLOCK DATA unit only."},
    {"common-layout-mismatch", "CommonLayoutMismatch", Level::Warning,
     "Two views of a COMMON block lay out different members over the same bytes.",
     "The debug information of two modules shows members of different size or kind at the same bytes of one "
     "COMMON block, so one module writes what the other reads as something else; also when the sizes agree.",
     "Declare the block with the same members everywhere, for instance from one INCLUDE file."},
    {"common-prefix-view", "CommonPrefixView", Level::Note,
     "A COMMON block is declared shorter in some modules, with compatible members.",
     "The declarations differ in size, but the debug information of every declaring module shows the same "
     "members wherever they overlap: shorter views and padding, not a conflict.",
     "Nothing to do unless the shorter view is a mistake."},
    {"input-note", "InputNote", Level::Note, "A header value older readers warn about on valid files.",
     "The machine value (every x64 or ARM64 object), the time stamp or the optional header's subsystem of an "
     "input is one that older readers warn about; the input is read all the same.",
     "Nothing to do."},
    {"input-diagnostic", "InputDiagnostic", Level::Warning,
     "An input is damaged or cannot be read as an object module.",
     "A message of the run about an input: overlapping sections, a damaged header or table, an executable "
     "among the inputs, or code that is not an object module.",
     "Check how the input was made; rebuild it, or leave it out of the run."},
    {"analysis-stopped", "AnalysisStopped", Level::Error, "The analysis stopped before it read every input.",
     "An input could not be opened, or a module is damaged so that the run cannot go on. The findings cover "
     "only what was read before.",
     "Mend or leave out the input the message names, and run again."},
    {"debug-info-unreadable", "DebugInfoUnreadable", Level::Note, "A module's debug information cannot be read.",
     "The layouts of the module's COMMON blocks could not be read from its debug information; its symbols "
     "were read all the same, and its blocks are checked by size alone.",
     "Nothing to do, unless layouts are wanted: rebuild the module with -g."},
};

}  // namespace

std::span<const Rule> all_rules() {
    return kRules;
}

const Rule* find_rule(std::string_view id) {
    const auto it = std::find_if(std::begin(kRules), std::end(kRules), [&](const Rule& r) { return r.id == id; });
    return it == std::end(kRules) ? nullptr : &*it;
}

std::size_t rule_index(const Rule& rule) {
    return static_cast<std::size_t>(&rule - kRules);
}

std::string_view level_text(Level level) {
    switch (level) {
        case Level::Error:
            return "error";
        case Level::Warning:
            return "warning";
        case Level::Note:
            return "note";
    }
    return "note";
}

}  // namespace quorv::findings
