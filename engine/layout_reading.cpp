#include "engine/layout_reading.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#define QUORV_LAYOUTS_ALONGSIDE 1
#endif

namespace quorv {

#if QUORV_LAYOUTS_ALONGSIDE

namespace {

// A module handed to the reading thread: its debug input with every byte it points at
// copied (the format reader's buffers hold the next module by the time it is read), and
// what reading gave.
struct Job {
    const FileEntry* module = nullptr;
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t room = 0;
    dwarf::DebugInput input;
    std::size_t cost = 0;  // the bytes it holds, copied or taken
    bool read = false;
    std::vector<dwarf::LayoutRef> layouts;
    std::string reason;
};

std::size_t bytes_to_copy(const dwarf::DebugInput& debug) {
    std::size_t size = 0;
    for (const dwarf::Section& section : debug.sections) size += section.bytes.size();
    for (const dwarf::Symbol& symbol : debug.symbols) size += symbol.name.size();
    return size;
}

std::size_t bytes_held(const dwarf::DebugInput& debug) {
    std::size_t size = bytes_to_copy(debug) + debug.symbols.size() * sizeof(dwarf::Symbol);
    for (const std::vector<dwarf::Relocation>& r : debug.relocations) size += r.size() * sizeof(dwarf::Relocation);
    return size;
}

}  // namespace

// The reading thread and the modules between it and the run. The run queues modules in
// order into a ring of jobs; the thread reads them in that order; the run records each
// when it is done, oldest first, so the model sees the modules in their order.
struct LayoutReading::Alongside {
    static constexpr std::size_t kJobs = 2;
    // The run waits while the modules queued and not yet recorded hold this much (one module
    // alone may hold more).
    static constexpr std::size_t kHeldBytes = std::size_t{64} << 20;
    // A job keeps this much room for the next module; more, grown for a huge one, is let go.
    static constexpr std::size_t kKeptRoom = std::size_t{16} << 20;
    static constexpr std::size_t kLeastRoom = std::size_t{64} << 10;

    Alongside(dwarf::LayoutPool& pool, dwarf::LayoutScratch& scratch) : pool(pool), scratch(scratch) {}
    ~Alongside() {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        work_ready.notify_one();
        if (thread.joinable()) thread.join();
    }

    // The reading thread: each queued job in turn, until stopped with none left.
    void work() {
        for (;;) {
            Job* job = nullptr;
            {
                std::unique_lock lock(mutex);
                work_ready.wait(lock, [&] { return stop || queued > done; });
                if (queued == done) return;
                job = &jobs[done % kJobs];
            }
            job->layouts.clear();
            job->reason.clear();
            job->read = dwarf::read_common_layouts(job->input, pool, job->layouts, job->reason, nullptr, scratch);
            {
                const std::lock_guard lock(mutex);
                ++done;
            }
            job_done.notify_one();
        }
    }

    // The run: the next job's copy of the module's debug input; false when there is no
    // memory for it. Room is made first (recording the oldest while the ring is full).
    bool queue(AnalysisModel& model, const FileEntry& module, dwarf::DebugInput& debug, int& stopped) {
        const std::size_t cost = bytes_held(debug);
        while (queued - recorded == kJobs || (queued > recorded && held + cost > kHeldBytes))
            stopped |= record_oldest(model);
        Job& job = jobs[queued % kJobs];
        const std::size_t size = bytes_to_copy(debug);
        if (size > job.room) {
            // With room to spare: modules differ a little in size, fresh room for each that is
            // a little bigger costs a page fault a page, and room never written costs nothing.
            const std::size_t room = std::max({size + size / 2, 2 * job.room, kLeastRoom});
            job.bytes.reset();
            job.room = 0;
            try {
                job.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(room);
            } catch (const std::bad_alloc&) {
                return false;
            }
            job.room = room;
        }
        std::uint8_t* at = job.bytes.get();
        dwarf::DebugInput& input = job.input;
        input.big_endian = debug.big_endian;
        input.elf64 = debug.elf64;
        for (int k = 0; k < dwarf::kSectionCount; ++k) {
            input.sections[k] = debug.sections[k];
            const std::span<const std::uint8_t> from = debug.sections[k].bytes;
            if (from.empty()) continue;
            std::memcpy(at, from.data(), from.size());
            input.sections[k].bytes = std::span<const std::uint8_t>(at, from.size());
            at += from.size();
        }
        // Taken, not copied: the reader's next module starts them anew; it gets this job's
        // room of last time.
        for (int k = 0; k < dwarf::kSectionCount; ++k) {
            input.relocations[k].swap(debug.relocations[k]);
            debug.relocations[k].clear();
        }
        input.symbols.swap(debug.symbols);
        debug.symbols.clear();
        for (dwarf::Symbol& symbol : input.symbols) {
            if (symbol.name.empty()) continue;
            std::memcpy(at, symbol.name.data(), symbol.name.size());
            symbol.name = std::string_view(reinterpret_cast<const char*>(at), symbol.name.size());
            at += symbol.name.size();
        }
        job.module = &module;
        job.cost = cost;
        {
            const std::lock_guard lock(mutex);
            held += cost;
            ++queued;
        }
        work_ready.notify_one();
        return true;
    }

    // The run: records the jobs the thread is done with, without waiting.
    int record_done(AnalysisModel& model) {
        int stopped = 0;
        for (;;) {
            {
                const std::lock_guard lock(mutex);
                if (done == recorded) return stopped;
            }
            stopped |= record_next(model);
        }
    }

    // The run: records the oldest job not yet recorded, once read.
    int record_oldest(AnalysisModel& model) {
        {
            std::unique_lock lock(mutex);
            job_done.wait(lock, [&] { return done > recorded; });
        }
        return record_next(model);
    }

    int record_all(AnalysisModel& model) {
        int stopped = 0;
        while (recorded < queued) stopped |= record_oldest(model);
        return stopped;
    }

    // The run: job `recorded`, which the thread is done with, into the model.
    int record_next(AnalysisModel& model) {
        Job& job = jobs[recorded % kJobs];
        const int failed = job.read ? model.record_layouts(job.module, std::move(job.layouts))
                                    : model.record_debug_problem(job.module, job.reason);
        job.layouts.clear();
        if (job.room > kKeptRoom) {
            job.bytes.reset();
            job.room = 0;
        }
        {
            const std::lock_guard lock(mutex);
            held -= job.cost;
            ++recorded;
        }
        return failed != 0 ? 1 : 0;
    }

    dwarf::LayoutPool& pool;
    dwarf::LayoutScratch& scratch;
    Job jobs[kJobs];
    std::mutex mutex;
    std::condition_variable work_ready;  // a job was queued, or stop
    std::condition_variable job_done;
    // Jobs queued, read and recorded so far: recorded <= done <= queued <= recorded + kJobs.
    // The run writes queued and recorded, the thread done.
    std::size_t queued = 0, done = 0, recorded = 0;
    std::size_t held = 0;
    bool stop = false;
    std::thread thread;
};

#else

// No second thread here: every module is read when it comes.
struct LayoutReading::Alongside {};

#endif

LayoutReading::LayoutReading(AnalysisModel& model) : model_(model) {}

LayoutReading::~LayoutReading() {
    static_cast<void>(finish());
}

void LayoutReading::read_alongside() {
    wanted_ = true;
}

int LayoutReading::read(const FileEntry& module, dwarf::DebugInput& debug) {
    int stopped = 0;
#if QUORV_LAYOUTS_ALONGSIDE
    if (wanted_ && !alongside_) {
        // Started with the first module that has debug information: a run without any never
        // pays for a thread. Without one, every module is read here.
        wanted_ = false;
        try {
            auto alongside = std::make_unique<Alongside>(model_.layout_pool(), scratch_);
            alongside->thread = std::thread([a = alongside.get()] { a->work(); });
            alongside_ = std::move(alongside);
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    if (alongside_) {
        stopped |= alongside_->record_done(model_);
        if (alongside_->queue(model_, module, debug, stopped)) return stopped;
        // No memory for the copy: read here, after the modules before it.
        stopped |= alongside_->record_all(model_);
    }
#endif
    return stopped | read_here(module, debug);
}

int LayoutReading::finish() {
    int stopped = 0;
#if QUORV_LAYOUTS_ALONGSIDE
    if (alongside_) {
        stopped = alongside_->record_all(model_);
        // The pool is the run's again.
        alongside_.reset();
    }
#endif
    wanted_ = false;
    return stopped;
}

int LayoutReading::read_here(const FileEntry& module, const dwarf::DebugInput& debug) {
    layouts_.clear();
    reason_.clear();
    const int failed = dwarf::read_common_layouts(debug, model_.layout_pool(), layouts_, reason_, nullptr, scratch_)
                           ? model_.record_layouts(&module, std::move(layouts_))
                           : model_.record_debug_problem(&module, reason_);
    return failed != 0 ? 1 : 0;
}

}  // namespace quorv
