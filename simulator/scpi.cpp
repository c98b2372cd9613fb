#include "scpi.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

const char *errorText(int code)
{
    switch (code) {
    case NoError:
        return "No error";
    case CommandError:
        return "Command error";
    case InvalidCharacter:
        return "Invalid character";
    case SyntaxError:
        return "Syntax error";
    case DataTypeError:
        return "Data type error";
    case ParameterNotAllowed:
        return "Parameter not allowed";
    case MissingParameter:
        return "Missing parameter";
    case UndefinedHeader:
        return "Undefined header";
    case HeaderSuffixOutOfRange:
        return "Header suffix out of range";
    case InvalidStringData:
        return "Invalid string data";
    case BlockDataError:
        return "Block data error";
    case InvalidBlockData:
        return "Invalid block data";
    case DataOutOfRange:
        return "Data out of range";
    case TooMuchData:
        return "Too much data";
    case IllegalParameterValue:
        return "Illegal parameter value";
    case OutOfMemory:
        return "Out of memory";
    case HardwareMissing:
        return "Hardware missing";
    case FileNameNotFound:
        return "File name not found";
    case SystemError:
        return "System error";
    case QueueOverflow:
        return "Queue overflow";
    case InputBufferOverrun:
        return "Input buffer overrun";
    case QueryInterrupted:
        return "Query INTERRUPTED";
    case QueryUnterminated:
        return "Query UNTERMINATED";
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------- framing

void MessageFramer::clear()
{
    m_state = State::Text;
    m_quote = 0;
    m_textLength = 0;
    m_blockTotal = 0;
    m_overrun = m_blockTooLong = m_lastIsText = m_started = false;
    m_buffer.clear();
}

void MessageFramer::storeText(char c)
{
    if (++m_textLength > kMaxMessageLength) {
        m_overrun = true;
    }
    if (!m_overrun && !m_blockTooLong) {
        m_buffer.append(c);
    }
    m_lastIsText = true;
}

void MessageFramer::finish(QList<FramedMessage> &out)
{
    FramedMessage message;
    message.bytes = m_buffer; // on error only the start, to tell a query
    if (m_overrun) {
        message.error = InputBufferOverrun;
    } else if (m_blockTooLong) {
        message.error = TooMuchData;
    } else {
        // A CR directly before the terminator (or a newline before END) is
        // not part of the message; block data never is stripped.
        if (m_lastIsText && m_mode == Mode::EndFlag && message.bytes.endsWith('\n')) {
            message.bytes.chop(1);
        }
        if (m_lastIsText && message.bytes.endsWith('\r')) {
            message.bytes.chop(1);
        }
    }
    out.append(message);
    clear();
}

void MessageFramer::feed(const char *data, qsizetype size, bool end, QList<FramedMessage> &out)
{
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        m_started = true;
        if (m_state == State::BlockData) {
            if (!m_blockTooLong && !m_overrun) {
                m_buffer.append(c);
            }
            m_lastIsText = false;
            if (--m_blockRemaining == 0) {
                m_state = State::Text;
            }
            continue;
        }
        if (c == '\n' && m_mode == Mode::Newline) {
            finish(out);
            continue;
        }
        switch (m_state) {
        case State::BlockDigit:
            if (c >= '1' && c <= '9') {
                m_lengthDigits = c - '0';
                m_blockLength = 0;
                m_state = State::BlockLength;
                storeText(c);
                continue;
            }
            m_state = State::Text;
            break;
        case State::BlockLength:
            if (c >= '0' && c <= '9') {
                m_blockLength = m_blockLength * 10 + (c - '0');
                storeText(c);
                if (--m_lengthDigits == 0) {
                    m_blockTotal += m_blockLength;
                    if (m_blockTotal > kMaxBlockLength) {
                        m_blockTooLong = true;
                    }
                    m_blockRemaining = m_blockLength;
                    m_state = m_blockLength > 0 ? State::BlockData : State::Text;
                }
                continue;
            }
            m_state = State::Text;
            break;
        case State::Quoted:
            if (c == m_quote) {
                m_state = State::Text;
            }
            storeText(c);
            continue;
        default:
            break;
        }
        // Text state (possibly after an unfinished block header).
        if (c == '"' || c == '\'') {
            m_quote = c;
            m_state = State::Quoted;
        } else if (c == '#') {
            m_state = State::BlockDigit;
        }
        storeText(c);
    }
    if (end && m_mode == Mode::EndFlag) {
        finish(out);
    }
}

// ---------------------------------------------------------------- parsing

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isPrintable(char c) { return c >= 0x20 && c <= 0x7e; }

// Reads one parameter starting at `i` (no leading blanks); leaves `i` after
// it and any blanks that follow.
int readParameter(const QByteArray &m, qsizetype &i, Parameter &p)
{
    const qsizetype n = m.size();
    const char c = m[i];
    if (c == '"' || c == '\'') {
        p.kind = Parameter::String;
        const qsizetype close = m.indexOf(c, i + 1);
        if (close < 0) {
            return SyntaxError;
        }
        p.value = m.mid(i + 1, close - i - 1);
        for (char ch : p.value) {
            if (!isPrintable(ch)) {
                return InvalidStringData;
            }
        }
        i = close + 1;
    } else if (c == '#') {
        p.kind = Parameter::Block;
        if (i + 1 >= n || m[i + 1] < '1' || m[i + 1] > '9') {
            return BlockDataError;
        }
        const int digits = m[i + 1] - '0';
        if (i + 2 + digits > n) {
            return BlockDataError;
        }
        qint64 length = 0;
        for (int d = 0; d < digits; ++d) {
            const char ch = m[i + 2 + d];
            if (ch < '0' || ch > '9') {
                return BlockDataError;
            }
            length = length * 10 + (ch - '0');
        }
        if (length > kMaxBlockLength) {
            return TooMuchData;
        }
        const qsizetype start = i + 2 + digits;
        if (n - start < length) {
            return BlockDataError;
        }
        p.value = m.mid(start, length);
        i = start + length;
        while (i < n && isBlank(m[i])) {
            ++i;
        }
        return i < n ? SyntaxError : NoError; // nothing may follow a block
    } else {
        p.kind = Parameter::Token;
        const qsizetype start = i;
        while (i < n && m[i] != ',' && !isBlank(m[i])) {
            const char ch = m[i];
            if (ch == ';') {
                return CommandError;
            }
            if (!isPrintable(ch)) {
                return InvalidCharacter;
            }
            if (ch == '"' || ch == '\'' || ch == '#') {
                return SyntaxError;
            }
            ++i;
        }
        p.value = m.mid(start, i - start);
    }
    while (i < n && isBlank(m[i])) {
        ++i;
    }
    return NoError;
}

} // namespace

bool looksLikeQuery(const QByteArray &m)
{
    qsizetype i = 0;
    while (i < m.size() && isBlank(m[i])) {
        ++i;
    }
    qsizetype end = i;
    while (end < m.size() && !isBlank(m[end])) {
        ++end;
    }
    return end > i && m[end - 1] == '?';
}

ParsedMessage parseMessage(const QByteArray &m)
{
    ParsedMessage r;
    const qsizetype n = m.size();
    qsizetype i = 0;
    while (i < n && isBlank(m[i])) {
        ++i;
    }
    if (i == n) {
        r.empty = true;
        return r;
    }
    const qsizetype headerStart = i;
    while (i < n && !isBlank(m[i])) {
        const char c = m[i];
        if (c == ';') {
            return r.error = CommandError, r;
        }
        if (!isPrintable(c)) {
            return r.error = InvalidCharacter, r;
        }
        if (c == '"' || c == '\'' || c == '#') {
            return r.error = SyntaxError, r;
        }
        ++i;
    }
    r.header = m.mid(headerStart, i - headerStart);
    if (r.header.endsWith('?')) {
        r.query = true;
        r.header.chop(1);
    }
    while (i < n && isBlank(m[i])) {
        ++i;
    }
    while (i < n) {
        Parameter p;
        if (m[i] == ',') {
            return r.error = SyntaxError, r; // empty parameter
        }
        if (const int e = readParameter(m, i, p)) {
            return r.error = e, r;
        }
        r.params.append(p);
        if (i == n) {
            break;
        }
        if (m[i] == ';') {
            return r.error = CommandError, r;
        }
        if (m[i] != ',') {
            return r.error = isPrintable(m[i]) ? SyntaxError : InvalidCharacter, r;
        }
        ++i;
        while (i < n && isBlank(m[i])) {
            ++i;
        }
        if (i == n) {
            return r.error = SyntaxError, r; // trailing comma
        }
    }
    return r;
}

// ---------------------------------------------------------------- headers

HeaderPattern::HeaderPattern(const char *pattern, int minSuffix, int maxSuffix)
    : m_minSuffix(minSuffix), m_maxSuffix(maxSuffix)
{
    QByteArray text(pattern);
    qsizetype i = 0;
    while (i < text.size()) {
        Node node;
        if (text[i] == '[') {
            node.optional = true;
            ++i;
        }
        if (text[i] == ':') {
            ++i;
        }
        QByteArray word;
        while (i < text.size() && text[i] != ':' && text[i] != '[' && text[i] != ']') {
            word.append(text[i++]);
        }
        if (i < text.size() && text[i] == ']') {
            ++i;
        }
        if (word.endsWith('#')) {
            node.suffix = true;
            word.chop(1);
        }
        for (char c : word) {
            if ((c >= 'A' && c <= 'Z') || c == '*' || (c >= '0' && c <= '9')) {
                node.shortName.append(c);
            }
        }
        node.longName = word.toUpper();
        m_nodes.append(node);
    }
}

QByteArray HeaderPattern::shortForm() const
{
    QByteArray s;
    for (const Node &node : m_nodes) {
        if (!node.optional) {
            s += (s.isEmpty() ? "" : ":") + node.shortName;
        }
    }
    return s;
}

int HeaderPattern::matchFrom(const QList<QByteArray> &input, int in, int pat, int *suffix) const
{
    if (pat == m_nodes.size()) {
        return in == input.size() ? NoError : UndefinedHeader;
    }
    const Node &node = m_nodes[pat];
    int result = UndefinedHeader;
    if (in < input.size()) {
        QByteArray word = input[in];
        int value = 1;
        bool suffixBad = false;
        if (node.suffix) {
            qsizetype digits = word.size();
            while (digits > 0 && word[digits - 1] >= '0' && word[digits - 1] <= '9') {
                --digits;
            }
            if (digits < word.size()) {
                const QByteArray number = word.mid(digits);
                value = number.size() > 6 ? -1 : number.toInt();
                suffixBad = value < m_minSuffix || value > m_maxSuffix;
                word.truncate(digits);
            }
        }
        if (word == node.shortName || word == node.longName) {
            result = matchFrom(input, in + 1, pat + 1, suffix);
            if (result == NoError && node.suffix) {
                if (suffixBad) {
                    return HeaderSuffixOutOfRange;
                }
                if (suffix) {
                    *suffix = value;
                }
            }
        }
    }
    if (result != NoError && node.optional) {
        return matchFrom(input, in, pat + 1, suffix);
    }
    return result;
}

int HeaderPattern::match(const QByteArray &header, int *suffix) const
{
    QByteArray h = header.toUpper();
    if (h.startsWith(':')) {
        h.remove(0, 1);
    }
    const QList<QByteArray> input = h.split(':');
    return matchFrom(input, 0, 0, suffix);
}

// ---------------------------------------------------------------- values

bool isHexWord(const QByteArray &text, quint32 *value)
{
    if (text.isEmpty() || text.size() > 8) {
        return false;
    }
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (!ok || text.startsWith('+') || text.startsWith('-') || text.contains('x') || text.contains('X')) {
        return false;
    }
    *value = v;
    return true;
}

int parseHexWord(const Parameter &p, quint32 *value)
{
    if (p.kind != Parameter::Token) {
        return DataTypeError;
    }
    for (char c : p.value) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return DataTypeError;
        }
    }
    if (p.value.size() > 8) {
        return DataOutOfRange;
    }
    return isHexWord(p.value, value) ? NoError : DataTypeError;
}

int parseInt(const Parameter &p, qint64 *value)
{
    if (p.kind != Parameter::Token) {
        return DataTypeError;
    }
    QByteArray digits = p.value;
    if (digits.startsWith('+') || digits.startsWith('-')) {
        digits.remove(0, 1);
    }
    if (digits.isEmpty()) {
        return DataTypeError;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return DataTypeError;
        }
    }
    while (digits.size() > 1 && digits.startsWith('0')) {
        digits.remove(0, 1);
    }
    if (digits.size() > 12) {
        return DataOutOfRange;
    }
    *value = digits.toLongLong() * (p.value.startsWith('-') ? -1 : 1);
    return NoError;
}

bool isReal(const QByteArray &text, double *value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    qsizetype digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i, ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i, ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        qsizetype exponent = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i, ++exponent;
        }
        if (exponent == 0) {
            return false;
        }
    }
    if (i != n) {
        return false;
    }
    *value = std::strtod(text.constData(), nullptr);
    return std::isfinite(*value);
}

int parseReal(const Parameter &p, double *value)
{
    if (p.kind != Parameter::Token || !isReal(p.value, value)) {
        return DataTypeError;
    }
    return NoError;
}

int parseBool(const Parameter &p, bool *value)
{
    if (p.kind != Parameter::Token) {
        return DataTypeError;
    }
    const QByteArray v = p.value.toUpper();
    if (v == "ON" || v == "1") {
        *value = true;
    } else if (v == "OFF" || v == "0") {
        *value = false;
    } else {
        return IllegalParameterValue;
    }
    return NoError;
}

QByteArray formatReal(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value == 0 ? 0.0 : value); // no "-0"
    return text;
}

QByteArray formatHexWord(quint32 value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

QByteArray formatBlock(const QByteArray &data)
{
    const QByteArray length = QByteArray::number(data.size());
    return '#' + QByteArray::number(length.size()) + length + data;
}

} // namespace sim
