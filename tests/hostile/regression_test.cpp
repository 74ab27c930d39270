// The named regression inputs of fuzz/regressions: each read safely and as the oracle reads
// it, and each one that stands for a finding gives exactly the outcome written here.
#include <gtest/gtest.h>

#include <map>

#include "hostile_inputs.h"

namespace quorv::hostile {
namespace {

struct Outcome {
    int result;
    std::size_t messages;
};

// The findings: file name in fuzz/regressions -> what analyze_input must give for it.
const std::map<std::string, Outcome> kFindings = {
    {"README.md", {1, 3}},  // not a COFF file: read as an object whose header names no table it holds
    // An ELF FUNC symbol "@": a procedure, since only COFF's decorated names are passed over.
    {"elf-procedure-named-with-at.o", {0, 0}},
    // DW_FORM_indirect whose form number runs past the unit: the layouts' reason was empty.
    {"dwarf-indirect-form-past-unit.o", {0, 0}},
};

TEST(Regressions, EveryInputReadsSafelyWithItsOutcome) {
    std::size_t seen = 0;
    for (const auto& e : fs::directory_iterator(fs::path(QUORV_FUZZ_DIR) / "regressions")) {
        const std::string name = e.path().filename().string();
        const Bytes bytes = file_bytes(e.path());
        const Examination x = examine(bytes);
        EXPECT_TRUE(examined_safely(x, bytes.size())) << name;
        const auto found = kFindings.find(name);
        ASSERT_NE(found, kFindings.end()) << name << " has no expected outcome here";
        EXPECT_EQ(x.result, found->second.result) << name;
        EXPECT_EQ(x.messages, found->second.messages) << name;
        ++seen;
    }
    EXPECT_EQ(seen, kFindings.size());
}

// One long string and many function records, each naming a different tail of it: copied
// name by name, the model would take records x string length bytes from an input of
// records x 18 + string length bytes.
TEST(Regressions, NamesSharedByManyRecordsStayWithinTheBound) {
    const std::size_t length = 20000, records = 2000;
    test::ObjectSpec plan;
    plan.sections.resize(1);
    for (std::size_t k = 0; k < records; ++k) {
        test::Symbol tail = test::function("");
        tail.raw_offset = static_cast<std::int64_t>(4 + 5 * k);
        plan.symbols.push_back(tail);
    }
    plan.string_table_size_override = static_cast<std::int64_t>(4 + length);
    Bytes bytes = make_object(plan);
    bytes.resize(bytes.size() + length, 'a');
    bytes.back() = 0;
    EXPECT_TRUE(examined_safely(examine(bytes), bytes.size()));
}

}  // namespace
}  // namespace quorv::hostile
