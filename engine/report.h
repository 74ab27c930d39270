#pragma once
// report_message: every diagnostic of the engine goes through here to the sink that the
// front end installed (a message box, stderr, a test's vector). The engine never prints.
#include <string>
#include <string_view>
#include <vector>

namespace quorv {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows or stores one message text; returns when the user has dismissed it.
    virtual void show(std::string_view text) = 0;
};

// Always returns 0. Without an installed sink the text is dropped.
int report_message(std::string_view text);

// Installs a sink for the lifetime of this object and puts the previous one back after.
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(MessageSink& sink);
    ~ScopedMessageSink();
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

private:
    MessageSink* previous_;
};

// A sink that keeps every text, in order: for tests, fuzzing and the CLI's JSON mode.
class CollectingSink : public MessageSink {
public:
    void show(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};

}  // namespace quorv
