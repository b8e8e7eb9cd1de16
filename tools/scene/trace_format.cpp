// Formatting and parsing of trace values. Floats are written with nine significant digits,
// which is enough for every 32-bit float to read back exactly; NaNs carry their bits.
#include "trace_format.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vor::scene {

namespace {

uint32_t BitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float FloatOf(uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

} // namespace

std::string FormatFloat(float value) {
    char text[48];
    if (std::isnan(value))
        std::snprintf(text, sizeof text, "nan:0x%08" PRIx32, BitsOf(value));
    else
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string FormatArgument(char kind, uint32_t bits) {
    char text[32];
    if (kind == 'f')
        return FormatFloat(FloatOf(bits));
    if (kind == 'i')
        std::snprintf(text, sizeof text, "%" PRId32, static_cast<int32_t>(bits));
    else
        std::snprintf(text, sizeof text, "%" PRIu32, bits);
    return text;
}

std::string FormatResult(char kind, int32_t value) {
    char text[64];
    if (kind == 'f') {
        uint32_t bits = static_cast<uint32_t>(value);
        std::snprintf(text, sizeof text, "%s [0x%08" PRIx32 "]", FormatFloat(FloatOf(bits)).c_str(),
                      bits);
    } else {
        std::snprintf(text, sizeof text, "%" PRId32, value);
    }
    return text;
}

bool ParseArgument(const std::string &token, char kind, uint32_t *bits) {
    if (token.empty())
        return false;
    const char *text = token.c_str();
    char *end = nullptr;
    if (kind == 'f') {
        if (token.compare(0, 4, "nan:") == 0) {
            errno = 0;
            unsigned long long v = std::strtoull(text + 4, &end, 16);
            if (errno || *end || end == text + 4 || v > 0xffffffffull || !std::isnan(FloatOf(v)))
                return false;
            *bits = static_cast<uint32_t>(v);
            return true;
        }
        errno = 0;
        float v = std::strtof(text, &end);
        // Denormals set ERANGE but still come back exact; only junk or nothing parsed is an error.
        if (*end || end == text)
            return false;
        *bits = BitsOf(v);
        return true;
    }
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno || *end || end == text)
        return false;
    if (kind == 'i') {
        if (v < INT32_MIN || v > INT32_MAX)
            return false;
    } else if (v < INT32_MIN || v > UINT32_MAX) {
        return false;
    }
    *bits = static_cast<uint32_t>(static_cast<uint64_t>(v));
    return true;
}

TraceLine SplitTraceLine(const std::string &line) {
    TraceLine out;
    std::string body = line;
    size_t hash = line.find('#');
    if (hash != std::string::npos) {
        body = line.substr(0, hash);
        out.comment = line.substr(hash + 1);
    }
    size_t i = 0;
    while (i < body.size()) {
        while (i < body.size() && std::isspace(static_cast<unsigned char>(body[i])))
            ++i;
        size_t start = i;
        while (i < body.size() && !std::isspace(static_cast<unsigned char>(body[i])))
            ++i;
        if (i > start)
            out.tokens.push_back(body.substr(start, i - start));
    }
    return out;
}

std::string Trim(const std::string &text) {
    size_t a = 0, b = text.size();
    while (a < b && std::isspace(static_cast<unsigned char>(text[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1])))
        --b;
    return text.substr(a, b - a);
}

} // namespace vor::scene
