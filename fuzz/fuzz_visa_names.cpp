// VISA resource names and search expressions: the first line is compiled as
// an expression, every line is parsed as a name and matched against it.
#include "resources.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::istringstream lines(std::string(reinterpret_cast<const char *>(data), size));
    std::string line;
    std::getline(lines, line);
    tsvisa::ResourceExpression expression;
    const bool valid = expression.compile(line);
    do {
        tsvisa::ResourceName name;
        tsvisa::parseResourceName(line, &name);
        if (valid) {
            expression.matches(line);
        }
    } while (std::getline(lines, line));
    return 0;
}
