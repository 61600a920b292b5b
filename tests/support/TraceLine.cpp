#include "support/TraceLine.h"

#include <regex>

namespace ukeytest {

std::optional<TraceLine> parseTrace(const std::string &text)
{
    static const std::regex entryLine(R"(^\[([^:\]]+):(KX(?:F|EPS)_\w+):([1-9][0-9]*)\]([\s\S]*)$)");
    static const std::regex methodLine(R"(^\[(\w+::\w+):([1-9][0-9]*)\]([\s\S]*)$)");
    std::smatch m;
    if (std::regex_match(text, m, entryLine))
        return TraceLine{true, m[1], m[2], std::stoi(m[3]), m[4]};
    if (std::regex_match(text, m, methodLine))
        return TraceLine{false, {}, m[1], std::stoi(m[2]), m[3]};
    return std::nullopt;
}

std::string brief(const std::string &text)
{
    const auto t = parseTrace(text);
    return t ? t->where + "|" + t->message : text;
}

} // namespace ukeytest
