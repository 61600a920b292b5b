#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

// The list sits in a heap block of exactly its size, so that a sanitizer or valgrind sees any overrun.
NameList split(const std::string &bytes, NameList names = {})
{
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    splitNameList(block.get(), static_cast<uint32_t>(bytes.size()), names);
    return names;
}

TEST(NameList, SplitsWithinTheReportedSize)
{
    // The bytes, and the lists allowed: more than one where an unterminated tail is left open.
    const std::pair<std::string, std::vector<NameList>> cases[] = {
        {std::string("a\0b\0\0", 5), {{"a", "b"}}},
        {std::string("a\0b\0\0zzz", 8), {{"a", "b"}}},
        {std::string("\0\0", 2), {{""}}},
        {std::string("\0", 1), {{""}}},
        {std::string("a\0b\0", 4), {{"a", "b"}}},
        {std::string("a\0b", 3), {{"a", "b"}, {"a"}}},
        {std::string("x", 1), {{"x"}}},
        {std::string(), {{}, {""}}},
    };
    for (const auto &[bytes, allowed] : cases) {
        const NameList names = split(bytes);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), names), allowed.end())
            << "size " << bytes.size() << " gave " << names.size() << " names";
    }
}

TEST(NameList, AppendsToTheCallersList)
{
    EXPECT_EQ(split(std::string("a\0\0", 3), {"old"}), (NameList{"old", "a"}));
}

TEST(NameList, FieldLengthStopsAtTheField)
{
    EXPECT_EQ(fieldLength("abc\0zz", 6), 3u);
    EXPECT_EQ(fieldLength("abcd", 4), 4u);
    EXPECT_EQ(fieldLength("abcd", 0), 0u);
}

} // namespace
} // namespace ukey
