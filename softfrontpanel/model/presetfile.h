#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// The ".prs" preset file: "configname=", "mainrelays=", "vrefvolt=",
// "vrefrelays=" lines, then optionally "==alias==" and one alias line per
// line. Reading and writing are plain functions over a device, so that
// tests and fuzz targets need no instrument.
namespace presetfile {

// No unit's preset comes near this size (the driver refuses larger files
// too); a larger file is not a preset and is not read.
constexpr qint64 kMaxFileSize = 65536;

// Preset names: 1 to 63 characters, each a letter a-z or A-Z, a digit, a
// hyphen or an underscore. Only such a name may become part of a path.
constexpr int kMaxNameLength = 63;
bool isPresetName(const QString &name);

struct Preset
{
    QString name;
    QString relays; // text form of the packed relay pattern
    double volts = 0.0;
    bool bus[4] = {};       // VRef linked to bus A..D
    QStringList aliasLines; // as found, not checked
};

enum Result : signed char {
    CannotOpen = -1,
    Ok = 0,
    BadLine = 1,       // a line before the alias section is not key=value
    BadRelayCount = 2, // "mainrelays" has the wrong number of words
    BadBusMask = 3,    // "vrefrelays" is not hex or above f
};

struct ParseOutcome
{
    Result result = Ok;
    int check = 0; // diagnostic number of the failed check (529, 549, 568)
    QString line;  // the offending line
};

// Parses from the device's current position to its end; wordCount is the
// number of relay words the reading unit expects.
ParseOutcome parse(QIODevice &in, int wordCount, Preset *preset);

// Writes the file's bytes; the device decides the line ends (text mode).
void write(QIODevice &out, const Preset &preset);

} // namespace presetfile
