#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "visa.h"

class UnitBackend;

// The panel's one picture of the switch unit: geometry, the history of
// relay-state patterns (the newest is what the user edits and Apply
// writes), line names and the voltage-reference table. It alone talks to
// the unit about relays, aliases and presets, through one of two backends:
// the driver, or in demo mode a simulated unit in the user's settings store.
//
// A state pattern holds nRows * nCols relay entries (row-major, display
// columns X, A, B, C, D, Y; 0 open, 1 closed), then the VRef links to buses
// A..D and the index of the VRef output voltage.
class ts4820inst : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxVoltages = 64;
    struct VoltRef
    {
        ViInt32 n = 0; // 0: the unit has no voltage reference
        ViReal64 voltages[kMaxVoltages] = {};
    };

    ts4820inst(ViSession vi, bool demo, int rows, const QString &subType);
    ~ts4820inst() override;

    // Told of every driver call that does not return VI_SUCCESS, with the
    // call as written in the source; the main window shows the boxes, a
    // test records. Without one, nothing is reported.
    using Reporter = std::function<void(ViStatus status, const char *callText)>;
    void setReporter(Reporter reporter);
    void report(ViStatus status, const char *callText) const;

    VoltRef voltRef;
    int nRows;
    int nCols;
    bool demo;
    ViSession d_vi;
    QList<QByteArray> matrixState; // undo history, oldest first
    QStringList aliases;           // X1..Xn, Y1..Yn, A, B, C, D
    QString subType;

    // Rows of a subtype: 96 for "AA" and "BA", 192 for every other text.
    static int rowsForSubType(const QString &subType);
    // The table the demo unit offers (17 voltages).
    void setDemoVoltRef();

    int patternSize() const { return nRows * nCols + 5; }
    // 0/1 for a relay, the bus link for row -1 and col 0..3, the VRef
    // index for (-1, -1); 255 for anything else or an empty history.
    char getState(int row, int col) const;
    double getVRefVoltage(int index) const;
    int getVRefIndex(double volts) const;

    QStringList getAliases() const { return aliases; }
    QStringList aliasLines() const;
    void parseAliasLine(const QString &line);
    void parseAliasLines(const QStringList &lines);

    QString patternToHex(const char *pattern) const;
    void hexToPattern(char *pattern, const QString &text) const;

    // Synchronisation with the unit (or the demo store).
    void readState();
    void writeState();
    void setAlias(int row, int col, const QString &txt);
    void clearAliases(int col);

    // Undo history.
    void addToUndoList();
    bool undo();

    // Presets in the unit's memory (or the demo store).
    QStringList getPresetList();
    void storePreset(const QString &name);
    void restorePreset(const QString &name);
    void removePreset(const QString &name);
    QString getDefaultPresetName();
    void clearCurrentPresetName();

    // Preset files.
    bool savePresetToFile(const QString &name, const QString &path);
    qint8 loadPresetFromFile(const QString &path);
    qint8 parsePresetFile(const QString &path, QString &configName, QString &relays, double &voltage,
                          bool &busA, bool &busB, bool &busC, bool &busD, QStringList &aliasList);

public slots:
    void setState(int row, int col, char state);

private:
    std::unique_ptr<UnitBackend> m_unit; // the driver, or the demo store
    Reporter m_reporter;
};
