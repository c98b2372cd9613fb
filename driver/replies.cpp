#include "replies.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ts4820::reply {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

// The declared data length of a block header at the start of `text`, and
// where the data starts; false when the header is not (yet) whole.
bool blockHeader(const std::string &text, std::size_t *length, std::size_t *dataStart)
{
    if (text.size() < 2 || text[0] != '#' || text[1] < '1' || text[1] > '9') {
        return false;
    }
    const std::size_t digits = std::size_t(text[1] - '0');
    if (text.size() < 2 + digits) {
        return false;
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (!isDigit(text[2 + i])) {
            return false;
        }
        n = n * 10 + std::size_t(text[2 + i] - '0');
    }
    *length = n;
    *dataStart = 2 + digits;
    return true;
}

} // namespace

bool parseError(const std::string &reply, int *code, std::string *text)
{
    const std::size_t comma = reply.find(',');
    long long value = 0;
    if (comma == std::string::npos || !parseInt(reply.substr(0, comma), -999999, 999999, &value)) {
        return false;
    }
    std::string t;
    if (!parseQuoted(reply.substr(comma + 1), &t)) {
        return false;
    }
    *code = int(value);
    *text = t;
    return true;
}

bool parseQuoted(const std::string &reply, std::string *text)
{
    if (reply.size() < 2 || reply.front() != '"' || reply.back() != '"') {
        return false;
    }
    const std::string inner = reply.substr(1, reply.size() - 2);
    if (inner.find('"') != std::string::npos) {
        return false;
    }
    *text = inner;
    return true;
}

bool parseHexWord(const std::string &reply, std::uint32_t *word)
{
    if (reply.size() != 8) {
        return false;
    }
    for (char c : reply) {
        if (!isHex(c)) {
            return false;
        }
    }
    *word = std::uint32_t(std::strtoul(reply.c_str(), nullptr, 16));
    return true;
}

bool parseHexWords(const std::string &reply, std::size_t count, std::vector<std::uint32_t> *words)
{
    const std::vector<std::string> parts = split(reply, ',');
    if (parts.size() != count) {
        return false;
    }
    std::vector<std::uint32_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!parseHexWord(parts[i], &out[i])) {
            return false;
        }
    }
    *words = out;
    return true;
}

bool parseBlock(const std::string &reply, std::string *data)
{
    std::size_t length = 0, start = 0;
    if (!blockHeader(reply, &length, &start) || reply.size() - start != length) {
        return false;
    }
    *data = reply.substr(start);
    return true;
}

bool parseInt(const std::string &reply, long long low, long long high, long long *value)
{
    std::size_t i = reply.size() > 0 && reply[0] == '-' ? 1 : 0;
    if (i == reply.size() || reply.size() - i > 18) {
        return false;
    }
    for (std::size_t j = i; j < reply.size(); ++j) {
        if (!isDigit(reply[j])) {
            return false;
        }
    }
    const long long v = std::strtoll(reply.c_str(), nullptr, 10);
    if (v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool parseReal(const std::string &reply, double *value)
{
    if (reply.empty() || reply.size() > 64) {
        return false;
    }
    for (char c : reply) {
        if (!(isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(reply.c_str(), &end);
    if (end != reply.c_str() + reply.size() || errno != 0 || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

bool parseVoltageTable(const std::string &reply, std::vector<double> *volts)
{
    const std::vector<std::string> parts = split(reply, ',');
    long long n = 0;
    if (!parseInt(parts[0], 0, 1000000, &n) || std::size_t(n) != parts.size() - 1) {
        return false;
    }
    std::vector<double> out(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!parseReal(parts[i + 1], &out[i])) {
            return false;
        }
    }
    *volts = out;
    return true;
}

bool identificationRevision(const std::string &reply, std::string *revision)
{
    std::size_t at = 0;
    for (int comma = 0; comma < 3; ++comma) {
        at = reply.find(',', at);
        if (at == std::string::npos) {
            return false;
        }
        ++at;
    }
    *revision = reply.substr(at);
    return true;
}

bool replyComplete(const std::string &head, std::size_t total, bool endsWithLf)
{
    std::size_t length = 0, start = 0;
    if (blockHeader(head, &length, &start) && total <= start + length) {
        return false; // the LF belongs to the block data
    }
    return endsWithLf;
}

bool isPresetName(const char *name)
{
    if (!name) {
        return false;
    }
    const std::size_t n = std::strlen(name);
    if (n < 1 || n > 63) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_')) {
            return false;
        }
    }
    return true;
}

bool isQuotable(const char *text)
{
    if (!text) {
        return false;
    }
    for (const char *p = text; *p; ++p) {
        if (*p < 0x20 || *p > 0x7e || *p == '"') {
            return false;
        }
    }
    return true;
}

bool copyBounded(char *buffer, std::size_t size, const std::string &text)
{
    if (!buffer || size == 0) {
        return false;
    }
    const std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n == text.size();
}

std::string formatReal(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string formatBlock(const std::string &data)
{
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data;
}

} // namespace ts4820::reply
