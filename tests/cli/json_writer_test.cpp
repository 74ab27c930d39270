#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quorv::cli {
namespace {

TEST(JsonWriter, NestingCommasAndEscapes) {
    JsonWriter w;
    w.begin_object().key("a").value(std::uint64_t{4294967295u}).key("b").begin_array();
    w.value(true).null().value(std::int64_t{-1}).begin_object().end_object().end_array();
    w.key("s").value(std::string_view("q\"b\\n\n\x01\x1f\x7f\x80\xff", 11)).end_object();
    EXPECT_EQ(w.text(),
              "{\"a\":4294967295,\"b\":[true,null,-1,{}],\"s\":\"q\\\"b\\\\n\\n\\u0001\\u001f\x7f\xc2\x80\xc3\xbf\"}");
}

// Prebuilt members join an object with or without members before them; a writer that
// streams to a file writes exactly the text it would have held, across its flushes.
TEST(JsonWriter, PrebuiltMembersAndStreamingGiveTheSameText) {
    JsonWriter piece;
    piece.begin_object().key("f").value("x\"y").key("n").value(std::int64_t{2}).end_object();
    ASSERT_EQ(piece.members_text(), "\"f\":\"x\\\"y\",\"n\":2");

    const auto write = [&](JsonWriter& w) {
        w.begin_array();
        for (int k = 0; k < 40000; ++k) {
            w.newline().begin_object();
            if (k % 2) w.key("k").value(std::int64_t{k});
            w.members(piece.members_text()).end_object();
        }
        w.begin_object().members("").end_object().end_array();
    };
    JsonWriter held;
    write(held);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    JsonWriter streamed(file);
    write(streamed);
    streamed.flush();
    std::string back(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    ASSERT_EQ(std::fread(back.data(), 1, back.size(), file), back.size());
    std::fclose(file);
    EXPECT_GT(back.size(), std::size_t{256 * 1024});
    EXPECT_EQ(back, held.text());
    const std::string first_two = "[\n{\"f\":\"x\\\"y\",\"n\":2}\n,{\"k\":1,\"f\"";
    EXPECT_EQ(held.text().substr(0, first_two.size()), first_two);
    EXPECT_EQ(held.text().substr(held.text().size() - 3), "{}]");
}

}  // namespace
}  // namespace quorv::cli
