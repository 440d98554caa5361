// JSON both ways, small: string literals for every JSON line posdip writes, and a strict reader
// for the files it keeps (the ledger). Pure: no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

// A JSON string literal with its quotes: control characters, quote and backslash escaped,
// bytes that are not UTF-8 replaced by U+FFFD so that the line stays valid JSON.
std::string jsonString(std::string_view text);

struct JsonMember;

// One value of the subset the reader takes: null, whole numbers, strings and objects.
struct JsonValue {
    enum class Type { Null, Number, String, Object };
    Type type = Type::Null;
    std::int64_t number = 0;
    std::string string;
    std::vector<JsonMember> members; // in file order, keys unique

    // The member named `key`, or null when there is none.
    const JsonValue *member(std::string_view key) const;
};

// Its own type rather than a pair: a pair cannot hold a type still being defined.
struct JsonMember {
    std::string key;
    JsonValue value;
};

// The one value `text` holds; empty, with `why` ("expected '}' at byte 12"), when it is not
// JSON, uses arrays, booleans or fractions, repeats a key, nests deeper than 8 or has anything
// but white space after the value.
std::optional<JsonValue> parseJson(std::string_view text, std::string *why);

} // namespace batch
