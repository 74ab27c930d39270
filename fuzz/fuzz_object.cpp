// One object module through read_object_module, from a memory stream at base 0, held
// against the oracle's plain reading of the same bytes.
#include <cstddef>
#include <cstdint>

#include "engine/input_stream.h"
#include "engine/object_reader.h"
#include "engine/recorder.h"
#include "fuzz/checking_sink.h"
#include "fuzz/model_checks.h"
#include "fuzz/oracle_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorv;
    static const FileEntry entry{"C:\\fuzz\\module.obj", "module.obj", 0};
    const fuzz::oracle::Expected expected = fuzz::oracle::expect_object({data, size}, entry.full_path);
    fuzz::OracleSink sink(expected);
    AnalysisModel model;
    int result;
    {
        MemoryStream stream({data, size});
        ModuleWorkingSet work;
        result = read_object_module(Diagnostics(sink), stream, entry, 0, work);
        if (Recorder(model).record_module(entry, work.facts) != 0) result = 1;
        model.put_in_order();
    }
    fuzz::require(result == 0 || result == 1, "read_object_module result not 0 or 1");
    // Without memory trouble every failure is reported.
    fuzz::require(result == 0 || sink.count > 0, "module failed without a message");
    fuzz::check_model(model, data, size);
    const std::string difference = fuzz::compare_outcome(model, result, sink, expected);
    if (!difference.empty()) fuzz::CheckingSink::fail("engine and oracle differ", difference);
    return 0;
}
