#pragma once

#include <optional>
#include <string>

namespace ukeytest {

// One trace line taken apart: "[file:KXF_Entry:line]message" or "[Class::Function:line]message".
struct TraceLine {
    bool entry = false; // located at an entry point of the table
    std::string file;   // entry lines only
    std::string where;  // the entry name, or "Class::Function"
    int line = 0;
    std::string message;
};

std::optional<TraceLine> parseTrace(const std::string &text);

// "where|message": what tests compare, free of line numbers. Unparseable text comes back whole.
std::string brief(const std::string &text);

} // namespace ukeytest
