#include "cli/json_writer.h"

#include <gtest/gtest.h>

namespace quorv::cli {
namespace {

TEST(JsonWriter, NestingCommasAndEscapes) {
    JsonWriter w;
    w.begin_object().key("a").value(std::uint64_t{4294967295u}).key("b").begin_array();
    w.value(true).null().value(std::int64_t{-1}).begin_object().end_object().end_array();
    w.key("s").value(std::string_view("q\"b\\n\n\x01\x1f\x7f\x80\xff", 11)).end_object();
    EXPECT_EQ(w.text(), "{\"a\":4294967295,\"b\":[true,null,-1,{}],\"s\":\"q\\\"b\\\\n\\n\\u0001\\u001f\x7f\xc2\x80\xc3\xbf\"}");
}

}  // namespace
}  // namespace quorv::cli
