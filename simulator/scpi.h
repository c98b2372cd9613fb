// The unit's SCPI message layer: error codes, message framing, message
// parsing and header matching. Plain functions and small classes without
// I/O, so the network servers and the tests share them.
#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace sim {

enum Error : int {
    NoError = 0,
    CommandError = -100,
    InvalidCharacter = -101,
    SyntaxError = -102,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    HeaderSuffixOutOfRange = -114,
    InvalidStringData = -151,
    BlockDataError = -160,
    InvalidBlockData = -161,
    DataOutOfRange = -222,
    TooMuchData = -223,
    IllegalParameterValue = -224,
    OutOfMemory = -225,
    HardwareMissing = -241,
    FileNameNotFound = -256,
    SystemError = -310,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
    QueryInterrupted = -410,
    QueryUnterminated = -420,
};

// The text the error queue reports for a code, or nullptr for a code the
// unit never reports.
const char *errorText(int code);

constexpr int kMaxMessageLength = 4096; // outside block data, terminator not counted
constexpr int kMaxBlockLength = 65536;

// One program message as cut from the byte stream. `error` is set when the
// message was discarded while it arrived (-363 too long, -223 block too long).
struct FramedMessage
{
    QByteArray bytes;
    int error = NoError;
};

// Cuts a connection's byte stream into program messages. In Newline mode
// (raw socket) LF ends a message unless it is block data; in EndFlag mode
// (VXI-11) the caller says where a message ends. Holds at most one message
// of the longest allowed size, whatever the peer sends.
class MessageFramer
{
public:
    enum class Mode { Newline, EndFlag };
    explicit MessageFramer(Mode mode) : m_mode(mode) {}

    void feed(const char *data, qsizetype size, bool end, QList<FramedMessage> &out);
    bool midMessage() const { return m_started; }
    void clear();

private:
    enum class State { Text, Quoted, BlockDigit, BlockLength, BlockData };
    void finish(QList<FramedMessage> &out);
    void storeText(char c);

    Mode m_mode;
    State m_state = State::Text;
    char m_quote = 0;
    int m_lengthDigits = 0;
    qint64 m_blockLength = 0;
    qint64 m_blockRemaining = 0;
    qint64 m_blockTotal = 0; // of all blocks of the message: bounds what one message holds
    qsizetype m_textLength = 0;
    bool m_overrun = false;
    bool m_blockTooLong = false;
    bool m_lastIsText = false;
    bool m_started = false;
    QByteArray m_buffer;
};

struct Parameter
{
    enum Kind { Token, String, Block };
    Kind kind = Token;
    QByteArray value; // a string without its quotes, a block's data
};

struct ParsedMessage
{
    int error = NoError;
    bool empty = false;
    bool query = false;
    QByteArray header; // without the '?'
    QList<Parameter> params;
};

ParsedMessage parseMessage(const QByteArray &message);
// Whether the message's header ends in '?': decides whether a message that
// fails before its header is understood still owes an (empty) reply.
bool looksLikeQuery(const QByteArray &message);

// A command header such as "ROUTe:MATRix[:STATe]" or "SYSTem:COMMunicate:LAN:DNS#"
// ('#' marks a numeric suffix). match() returns NoError, UndefinedHeader, or
// HeaderSuffixOutOfRange (suffix outside minSuffix..maxSuffix).
class HeaderPattern
{
public:
    explicit HeaderPattern(const char *pattern, int minSuffix = 1, int maxSuffix = 1);
    int match(const QByteArray &header, int *suffix = nullptr) const;
    // Short form without optional nodes, e.g. "ROUT:MATR".
    QByteArray shortForm() const;

private:
    struct Node
    {
        QByteArray shortName, longName;
        bool optional = false;
        bool suffix = false;
    };
    int matchFrom(const QList<QByteArray> &input, int in, int pat, int *suffix) const;
    QList<Node> m_nodes;
    int m_minSuffix, m_maxSuffix;
};

// Parameter values. Each returns NoError or the code of the failure.
int parseInt(const Parameter &p, qint64 *value);
int parseHexWord(const Parameter &p, quint32 *value);
int parseReal(const Parameter &p, double *value);
int parseBool(const Parameter &p, bool *value);
bool isReal(const QByteArray &text, double *value);
bool isHexWord(const QByteArray &text, quint32 *value); // 1 to 8 digits

QByteArray formatReal(double value);     // "%.9g"
QByteArray formatHexWord(quint32 value); // 8 lower-case digits
QByteArray formatBlock(const QByteArray &data);

} // namespace sim
