#include "engine/report.h"

namespace quorv {
namespace {
MessageSink* installed_sink = nullptr;
}

int report_message(std::string_view text) {
    if (installed_sink != nullptr) installed_sink->show(text);
    return 0;
}

ScopedMessageSink::ScopedMessageSink(MessageSink& sink) : previous_(installed_sink) {
    installed_sink = &sink;
}

ScopedMessageSink::~ScopedMessageSink() { installed_sink = previous_; }

}  // namespace quorv
