#pragma once

#include <QPoint>
#include <QString>
#include <QVector>

class Schematic;

// An open/close expression such as "X1-4,Y1,Y6": items of a line letter
// (X, A, B, C, D, Y; any case) and a row number or range, separated by
// commas; spaces are ignored.
struct RelayExpression
{
    bool valid = false;
    QVector<QPoint> marks; // (x = display column, y = row), in order of marking
};

// Evaluates the text for a unit of nRows rows. Items before the point where
// evaluation stopped are marked even when the expression is invalid.
RelayExpression evaluateRelayExpression(const QString &text, int nRows);

// Shows the expression on the schematic: clears all marks, then marks the
// relays it names with the schematic's updates off. Returns whether it is
// valid.
bool showRelayExpression(Schematic &schematic, const QString &text);
