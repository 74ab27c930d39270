#pragma once
// Diagnostics: every message of a run goes, with the input it was met in, to the sink the
// front end gives the run (a message box, stderr, a test's vector). The engine never
// prints, and holds no sink of its own: the context is passed down to every reading step.
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_entry.h"

namespace quorv {

struct Diagnostic {
    std::string_view text;  // byte for byte as the system words it
    // The file or library member the message was met in; none for the file list's own.
    const FileEntry* input = nullptr;
};

class DiagnosticSink {
  public:
    virtual ~DiagnosticSink() = default;
    // Shows or stores one message; returns when the user has dismissed it.
    virtual void show(const Diagnostic& diagnostic) = 0;
};

// A sink that keeps every text and its input, in order: for tests, fuzzing and the CLI's
// report formats.
class CollectingSink : public DiagnosticSink {
  public:
    void show(const Diagnostic& diagnostic) override {
        messages.emplace_back(diagnostic.text);
        inputs.push_back(diagnostic.input);
    }
    std::vector<std::string> messages;
    std::vector<const FileEntry*> inputs;
};

// The reporting context of one operation: the sink, and the input being read.
class Diagnostics {
  public:
    explicit Diagnostics(DiagnosticSink& sink) : sink_(&sink) {}

    void report(std::string_view text) const { sink_->show(Diagnostic{text, input_}); }
    const FileEntry* input() const { return input_; }

    // Messages met while this lives belong to entry; the input before it is put back after.
    class InputScope {
      public:
        InputScope(Diagnostics& diagnostics, const FileEntry* entry)
            : diagnostics_(diagnostics), previous_(diagnostics.input_) {
            diagnostics_.input_ = entry;
        }
        ~InputScope() { diagnostics_.input_ = previous_; }
        InputScope(const InputScope&) = delete;
        InputScope& operator=(const InputScope&) = delete;

      private:
        Diagnostics& diagnostics_;
        const FileEntry* previous_;
    };

  private:
    DiagnosticSink* sink_;
    const FileEntry* input_ = nullptr;
};

}  // namespace quorv
