// One simulated Xentra 4820: its state, its command set and its
// non-volatile memory. Commands run one at a time; the network servers give
// each connection its own Session.
#pragma once

#include "presetdata.h"
#include "scpi.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace sim {

constexpr int kErrorQueueSize = 20;

// What one connection owns: its error queue and event status register.
class Session
{
public:
    void pushError(int code);
    int takeError();
    bool hasErrors() const { return !m_errors.isEmpty(); }
    void clear()
    {
        m_errors.clear();
        esr = 0;
    }
    quint8 esr = 0;

private:
    QList<int> m_errors;
};

struct UnitOptions
{
    QByteArray subtype = "AB";
    quint32 serial = 0x48200001;
    bool voltageReference = true;
    QString stateFolder{}; // empty: nothing kept across restarts
    QByteArray hostname{}; // empty: "xentra-<serial>"
    QByteArray address = "127.0.0.1";
};

class Instrument
{
public:
    explicit Instrument(const UnitOptions &options);

    // Reads the state folder. A state that cannot be read is moved aside
    // (never overwritten) and the unit starts from the factory state with
    // *TST? reporting 1; `message` then says what happened.
    bool load(QString *message);

    // Runs one program message. A query gives its reply (empty when it
    // failed), a command or an empty message gives nothing.
    std::optional<QByteArray> execute(Session &session, const FramedMessage &message);
    quint8 statusByte(const Session &session, bool replyPending) const;

    int rows() const { return m_rows; }
    const UnitOptions &options() const { return m_options; }
    QByteArray identification() const;

    // Fault injection, by command header in any accepted form ("ROUT:MATR",
    // "route:matrix:state?"). Returns false for a header no command has.
    bool failCommand(const QByteArray &header, int code);
    bool malformReply(const QByteArray &header);
    bool oversizeReply(const QByteArray &header, int bytes);
    bool slowReply(const QByteArray &header, int ms);
    bool dropConnectionOn(const QByteArray &header);
    void setIdentification(const QByteArray &idn) { m_idnOverride = idn; }
    // The connection is to be closed, unanswered, before this message runs.
    bool dropsConnection(const FramedMessage &message) const;
    // How late the reply of the message last run is due.
    int replyDelayMs() const { return m_replyDelayMs; }

    static bool isSubtype(const QByteArray &subtype);

private:
    struct Stored
    {
        Configuration config;
        QByteArray data; // the preset data text, kept ready for DATA? and the state file
    };
    // What every relay, name or VRef change rewrites: kept apart from the
    // presets so that such a write stays small.
    struct State
    {
        Configuration config;
        QByteArray preset; // preset in use, empty for none
        bool edited = false;
        QByteArray description, asset;
    };
    using Presets = std::map<QByteArray, Stored>; // ascending ASCII order
    using Params = QList<Parameter>;
    using Handler = int (Instrument::*)(Session &, const Params &, QByteArray &);
    struct Command
    {
        HeaderPattern pattern;
        bool query;
        Handler handler;
    };

    int findCommand(const QByteArray &header, bool query, int *suffix) const;
    int commandFor(const QByteArray &header) const;
    int commit(const State &next);
    int commitPresets(Presets next);
    QByteArray serialize(const State &state) const;
    QByteArray serializePresets(const Presets &presets) const;
    bool deserialize(const QByteArray &text, State *state, Presets *presets) const;
    bool deserializePresets(const QByteArray &text, Presets *presets) const;
    QString stateFile(const char *name) const;
    int edit(const std::function<void(State &)> &change);

    int idn(Session &, const Params &, QByteArray &);
    int rst(Session &, const Params &, QByteArray &);
    int cls(Session &, const Params &, QByteArray &);
    int opc(Session &, const Params &, QByteArray &);
    int opcQuery(Session &, const Params &, QByteArray &);
    int wai(Session &, const Params &, QByteArray &);
    int esrQuery(Session &, const Params &, QByteArray &);
    int stbQuery(Session &, const Params &, QByteArray &);
    int tstQuery(Session &, const Params &, QByteArray &);
    int rowsQuery(Session &, const Params &, QByteArray &);
    int setMatrix(Session &, const Params &, QByteArray &);
    int matrixQuery(Session &, const Params &, QByteArray &);
    int setAlias(Session &, const Params &, QByteArray &);
    int aliasQuery(Session &, const Params &, QByteArray &);
    int aliasCatalogueQuery(Session &, const Params &, QByteArray &);
    int voltageCatalogueQuery(Session &, const Params &, QByteArray &);
    int setVoltage(Session &, const Params &, QByteArray &);
    int voltageQuery(Session &, const Params &, QByteArray &);
    int setLink(Session &, const Params &, QByteArray &);
    int linkQuery(Session &, const Params &, QByteArray &);
    int presetCountQuery(Session &, const Params &, QByteArray &);
    int presetNameQuery(Session &, const Params &, QByteArray &);
    int presetCatalogueQuery(Session &, const Params &, QByteArray &);
    int storePreset(Session &, const Params &, QByteArray &);
    int recallPreset(Session &, const Params &, QByteArray &);
    int deletePreset(Session &, const Params &, QByteArray &);
    int currentPresetQuery(Session &, const Params &, QByteArray &);
    int presetDataQuery(Session &, const Params &, QByteArray &);
    int uploadPreset(Session &, const Params &, QByteArray &);
    int errorQuery(Session &, const Params &, QByteArray &);
    int versionQuery(Session &, const Params &, QByteArray &);
    int serialQuery(Session &, const Params &, QByteArray &);
    int textAttributeQuery(Session &, const Params &, QByteArray &);
    int setDescription(Session &, const Params &, QByteArray &);
    int setAssetNumber(Session &, const Params &, QByteArray &);
    int setIdentify(Session &, const Params &, QByteArray &);
    int identifyQuery(Session &, const Params &, QByteArray &);

    int presetNameParameter(const Params &params, QByteArray *name) const;
    // The stored preset a command names: NoError, a name error or FileNameNotFound.
    int namedPreset(const Params &params, QByteArray *name, const Stored **stored) const;
    int userTextParameter(const Params &params, int maxLength, QByteArray *text) const;
    int setUserText(const Params &params, int maxLength, QByteArray State::*field);

    UnitOptions m_options;
    int m_rows;
    QList<double> m_table;
    QList<Command> m_commands;
    State m_state;
    Presets m_presets;
    bool m_identify = false;
    bool m_selfTestFailed = false;
    int m_currentCommand = -1; // while a handler runs

    QHash<int, int> m_failures;
    QSet<int> m_malformed;
    QHash<int, int> m_oversized;
    QHash<int, int> m_slow;
    QSet<int> m_drops;
    int m_replyDelayMs = 0;
    QByteArray m_idnOverride;
};

} // namespace sim
