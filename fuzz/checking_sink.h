#pragma once
// The sink of the fuzz targets: counts what the engine reports and stops the process at
// the first text that is none of the system's own, instead of showing or keeping it (a
// damaged input may draw millions of messages).
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/diagnostics.h"
#include "fuzz/message_families.h"

namespace quorv::fuzz {

class CheckingSink : public DiagnosticSink {
  public:
    void show(const Diagnostic& diagnostic) override {
        ++count;
        if (!is_known_message(diagnostic.text)) fail("a message outside the system's own texts", diagnostic.text);
    }

    [[noreturn]] static void fail(const char* what, std::string_view text) {
        std::fprintf(stderr, "quorv fuzz: %s: \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
        std::abort();
    }

    std::size_t count = 0;
};

// A broken invariant of a finished read: abort so that the fuzzer keeps the input.
inline void require(bool ok, const char* what) {
    if (!ok) CheckingSink::fail(what, "");
}

}  // namespace quorv::fuzz
