// The text form of calls in a trace: how each kind of 32-bit value is written so that it reads
// back to the same bits, and how a line splits into its call, its arguments and its comment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vor::scene {

// "%.9g" for every finite or infinite float (that reads back to the same bits); a NaN keeps its
// payload as "nan:0x7fc00000".
std::string FormatFloat(float value);
std::string FormatArgument(char kind, uint32_t bits);
// A result as the tool prints and records it: "1.5 [0x3fc00000]" for float bits, "3" otherwise.
std::string FormatResult(char kind, int32_t value);

// Parse one argument token of the given kind ('u', 'i' or 'f') into its bits; false when the
// token is not a number of that kind. Unsigned arguments also take negative values, which wrap
// as a host's signed integer would.
bool ParseArgument(const std::string &token, char kind, uint32_t *bits);

struct TraceLine {
    std::vector<std::string> tokens; // call name (or directive) first
    std::string comment;             // the text after '#', without it; empty if none
};

// Splits at whitespace; everything from the first '#' on is the comment.
TraceLine SplitTraceLine(const std::string &line);

// Trims spaces at both ends.
std::string Trim(const std::string &text);

} // namespace vor::scene
