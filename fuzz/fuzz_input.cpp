// One input through analyze_input: signatures, the archive walk and every member, held
// against the oracle's plain reading of the same bytes.
#include <cstddef>
#include <cstdint>

#include "engine/input_stream.h"
#include "engine/run.h"
#include "fuzz/checking_sink.h"
#include "fuzz/model_checks.h"
#include "fuzz/oracle_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorv;
    static const FileEntry entry{"C:\\fuzz\\input.lib", "input.lib", 0};
    const fuzz::oracle::Expected expected =
        fuzz::oracle::expect_input({data, size}, entry.full_path, entry.display_name);
    fuzz::OracleSink sink(expected);
    AnalysisModel model;
    int result;
    {
        RunContext run(sink, model);
        MemoryStream stream({data, size});
        result = analyze_input(stream, entry, run);
        model.put_in_order();
    }
    fuzz::require(result == 0 || result == 1, "analyze_input result not 0 or 1");
    fuzz::require(result == 0 || sink.count > 0, "input stopped the run without a message");
    fuzz::check_model(model, data, size);
    const std::string difference = fuzz::compare_outcome(model, result, sink, expected);
    if (!difference.empty()) fuzz::CheckingSink::fail("engine and oracle differ", difference);
    model.reset_model();
    fuzz::require(model.block_list().empty() && model.procedure_list().empty(), "reset_model left records");
    return 0;
}
