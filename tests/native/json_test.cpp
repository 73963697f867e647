// JSON strings carry text from outside (a refused query's words, the
// console's date slot, a configured topic): whatever bytes come, the
// answer stays one valid JSON string.
#include <gtest/gtest.h>

#include "common/json.h"

TEST(JsonString, EscapesWhatWouldEndOrBreakTheString)
{
    const struct {
        const char *name;
        std::string text, json;
    } cases[] = {
        {"empty", "", "\"\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"control bytes", std::string("\n\t\x1f\0x", 5), "\"\\u000a\\u0009\\u001f\\u0000x\""},
        {"UTF-8 and DEL as they are", "\xC2\xB0" "C\x7F", "\"\xC2\xB0" "C\x7F\""},
        {"a slash needs nothing", "m/s", "\"m/s\""},
    };
    for (const auto &c : cases) {
        std::string out = "[";
        add_json_string(out, c.text);
        EXPECT_EQ(out, "[" + c.json) << c.name;
    }
}
