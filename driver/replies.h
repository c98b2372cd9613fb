// Parsing of the unit's replies and checks of what the driver sends: plain
// functions without I/O, so they can be tested and fuzzed on their own.
// Every parser accepts only the exact form the unit's manual gives and
// leaves its outputs untouched when it refuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ts4820::reply {

// `<int>,"<text>"` as SYSTem:ERRor? sends it.
bool parseError(const std::string &reply, int *code, std::string *text);
// `"<text>"` without a quote inside.
bool parseQuoted(const std::string &reply, std::string *text);
// Exactly `count` words of exactly 8 hex digits, joined by commas.
bool parseHexWords(const std::string &reply, std::size_t count, std::vector<std::uint32_t> *words);
bool parseHexWord(const std::string &reply, std::uint32_t *word);
// A definite-length block whose declared length matches the bytes received.
bool parseBlock(const std::string &reply, std::string *data);
// Decimal integer with an optional minus sign, within [low, high].
bool parseInt(const std::string &reply, long long low, long long high, long long *value);
bool parseReal(const std::string &reply, double *value);
// `<n>[,<real>]*` with exactly n reals.
bool parseVoltageTable(const std::string &reply, std::vector<double> *volts);
// The fourth field of an identification reply (after the third comma).
bool identificationRevision(const std::string &reply, std::string *revision);

// While reading a reply in pieces: whether the `total` bytes received, of
// which `head` holds at least the first few, are a whole reply, that is end
// (`endsWithLf`) with LF outside block data.
bool replyComplete(const std::string &head, std::size_t total, bool endsWithLf);

// 1 to 63 characters of A-Z, a-z, 0-9, '-' and '_'.
bool isPresetName(const char *name);
// Characters 0x20 to 0x7E without '"': what fits into a quoted string.
bool isQuotable(const char *text);

// Copies text into a buffer of `size` bytes, NUL-terminated; returns false
// when it had to be cut.
bool copyBounded(char *buffer, std::size_t size, const std::string &text);

std::string formatReal(double value); // "%.9g"
std::string formatBlock(const std::string &data);

} // namespace ts4820::reply
