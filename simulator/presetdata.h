// The unit's configuration, line names and the preset data format, as plain
// values and functions.
#pragma once

#include <QByteArray>
#include <QList>

namespace sim {

constexpr int kMaxNameText = 31;
constexpr int kMaxPresetName = 63;
constexpr int kMaxPresets = 100;

inline int wordsForRows(int rows) { return rows * 6 / 32; }
// Line names are kept X1..Xn, Y1..Yn, A, B, C, D: the catalogue's order.
inline int lineCount(int rows) { return rows * 2 + 4; }

struct Configuration
{
    explicit Configuration(int rows = 96) : relays(wordsForRows(rows), 0), names(lineCount(rows)) {}
    QList<quint32> relays;
    double volts = 0;
    quint8 links = 0; // bit 0 bus A … bit 3 bus D
    QList<QByteArray> names;
    bool operator==(const Configuration &o) const
    {
        return relays == o.relays && volts == o.volts && links == o.links && names == o.names;
    }
};

QList<double> standardVoltageTable();
// Index of the first entry within 1 mV or 5 % of `volts`, or -1.
int matchVoltage(const QList<double> &table, double volts);

QByteArray lineName(int index, int rows);
// `X<row>`, `Y<row>` or a bus, any case: NoError, IllegalParameterValue or DataOutOfRange.
int parseLine(const QByteArray &text, int rows, int *index);
// Name text: NoError, InvalidStringData or TooMuchData.
int checkNameText(const QByteArray &text);
int checkPresetName(const QByteArray &name);

QByteArray aliasCatalogue(const QList<QByteArray> &names, int rows);
QByteArray presetData(const QByteArray &name, const Configuration &config, int rows);
// Parses uploaded preset data under the unit's rules; a unit without
// voltage reference passes an empty table. Returns NoError or InvalidBlockData.
int parsePresetData(const QByteArray &data, int rows, const QList<double> &table, QByteArray *name,
                    Configuration *config);

} // namespace sim
