// Memory exhaustion becomes the result codes and messages of the engine, never a crash:
// the global operator new of this binary fails on request.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <set>

#include "engine/recorder.h"
#include "engine/symbol_scan.h"
#include "engine_harness.h"

// The replacements below are a matched pair over malloc and free; GCC cannot see that
// through inlining and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
long allocations_until_failure = -1;  // -1: never fail
}

void* operator new(std::size_t size) {
    if (allocations_until_failure == 0) throw std::bad_alloc();
    if (allocations_until_failure > 0) --allocations_until_failure;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace quorv {
namespace {

// Keeps messages without counting its own allocations, so a failure lands in the engine.
struct UncountedSink : CollectingSink {
    void show(const Diagnostic& diagnostic) override {
        const long saved = allocations_until_failure;
        allocations_until_failure = -1;
        CollectingSink::show(diagnostic);
        allocations_until_failure = saved;
    }
};

struct FailAfter {
    explicit FailAfter(long n) { allocations_until_failure = n; }
    ~FailAfter() { allocations_until_failure = -1; }
};

TEST(AllocationFailure, RecordOperationsReturnOneAndAddNothing) {
    const FileEntry f{"f", "f", 0};
    for (long n = 0; n < 6; ++n) {
        AnalysisModel model;
        model.current_object = ObjectRef{&f, 0, false};
        // A list starts with room for four: the next declaration has to grow it.
        for (int k = 0; k < 4; ++k) model.record_common_declaration("_first_block_name_long_", 4);
        int declared, procedure;
        {
            FailAfter fail(n);
            declared = model.record_common_declaration("_a_long_block_name_to_copy_", 8);
            procedure = model.record_procedure("_a_long_procedure_name_to_copy_");
        }
        if (declared == kRecordFailed) {
            EXPECT_EQ(model.find_block("_a_long_block_name_to_copy_"), nullptr);
        } else {
            EXPECT_EQ(declared, kNewBlock);
        }
        if (procedure == 1) {
            EXPECT_TRUE(model.procedure_list().empty());
        }
        // Adding to an existing block can fail too, and leaves the block as it was.
        {
            FailAfter fail(0);
            EXPECT_EQ(model.record_common_declaration("_first_block_name_long_", 16), kRecordFailed);
        }
        EXPECT_EQ(model.find_block("_first_block_name_long_")->declarations.size(), 4u);
        EXPECT_TRUE(model.find_block("_first_block_name_long_")->sizes_agree);
    }
}

TEST(AllocationFailure, EveryAllocationOfAModuleReadFailsCleanly) {
    test::ObjectSpec plan;
    plan.sections.resize(2);
    plan.symbols = {test::common("_block_with_long_name_", 8), test::defined_data("_block_with_long_name_"),
                    test::function("_procedure_with_long_name_")};
    const test::Bytes bytes = make_object(plan);
    const FileEntry entry{"d\\m.obj", "m.obj", 0};
    bool completed = false;
    for (long n = 0; n < 200 && !completed; ++n) {
        AnalysisModel model;
        UncountedSink sink;
        int result;
        {
            MemoryStream stream(bytes);
            ModuleWorkingSet work;
            FailAfter fail(n);
            result = read_object_module(Diagnostics(sink), stream, entry, 0, work);
            if (Recorder(model).record_module(entry, work.facts) != 0) result = 1;
        }
        if (result == 0) {
            completed = true;
            EXPECT_NE(model.find_block("_block_with_long_name_"), nullptr);
            EXPECT_TRUE(model.find_block("_block_with_long_name_")->declarations.begin()->initialized);
        }
    }
    EXPECT_TRUE(completed);
}

TEST(AllocationFailure, DefinedDataCopyFailureEndsTheScan) {
    test::ObjectSpec plan;
    plan.sections.resize(1);
    plan.symbols = {test::defined_data("_a_defined_name_long_enough_"), test::common("_after_", 4)};
    const test::Bytes bytes = make_object(plan);
    const FileEntry entry{"m", "m", 0};
    std::set<std::string> seen;
    for (long n = 0; n < 40; ++n) {
        AnalysisModel model;
        UncountedSink sink;
        sink.messages.reserve(16);
        ModuleWorkingSet work;
        {
            MemoryStream stream(bytes);
            static_cast<void>(read_object_module(Diagnostics(sink), stream, entry, 0, work));
        }
        AnalysisModel again;
        int result;
        {
            work.facts = ModuleFacts{};  // no room kept from the first reading
            FailAfter fail(n);
            result = process_symbol_table(Diagnostics(sink), work);
            if (Recorder(again).record_module(entry, work.facts) != 0) result = 1;
        }
        for (const auto& m : sink.messages) seen.insert(m);
        if (result == 1 && !sink.messages.empty()) {
            EXPECT_EQ(again.find_block("_after_"), nullptr) << n << ": " << sink.messages.front();
        }
    }
    EXPECT_TRUE(seen.count("Could not allocate DATAINITIALIZED\n"));
}

}  // namespace
}  // namespace quorv
