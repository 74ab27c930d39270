#pragma once
// The layouts of the run's modules from their debug information. Reading them costs far more
// than reading a module's symbols, so where the platform has threads a run may read them on
// a second thread while it goes on to the next modules. Either way each module's layouts
// (or why its debug information could not be read) are recorded in module order, and the
// model ends up as if each had been read at once.
#include <memory>

#include "engine/dwarf/common_layouts.h"
#include "engine/dwarf/debug_input.h"
#include "engine/file_entry.h"
#include "engine/model.h"

namespace quorv {

class LayoutReading {
  public:
    explicit LayoutReading(AnalysisModel& model);
    // Records what is still being read.
    ~LayoutReading();
    LayoutReading(const LayoutReading&) = delete;
    LayoutReading& operator=(const LayoutReading&) = delete;

    // From now on modules are read on a second thread when there is one; until finish() the
    // model's pool of layouts is that thread's.
    void read_alongside();

    // Reads (or queues) the layouts of module. debug is the format reader's working set: its
    // relocations and symbols may be taken, leaving it emptied room. 1 when the model could
    // not keep what was recorded (of this module or one before it): the run stops.
    int read(const FileEntry& module, dwarf::DebugInput& debug);
    // Records every module's layouts still being read. 1 as read's.
    int finish();

  private:
    struct Alongside;
    int read_here(const FileEntry& module, const dwarf::DebugInput& debug);

    AnalysisModel& model_;
    dwarf::LayoutScratch scratch_;
    std::vector<dwarf::LayoutRef> layouts_;
    std::string reason_;
    std::unique_ptr<Alongside> alongside_;
    bool wanted_ = false;  // read_alongside was called; the thread starts with the first module
};

}  // namespace quorv
