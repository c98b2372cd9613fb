#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "visa.h"

class QWidget;
class ts1900fp_genSPC;

// One resource that the VISA search reported, and what identification
// made of it.
struct resourceInfo_t
{
    QString descriptor;     // exactly as the search returned it
    QStringList columns;    // empty, or host name, VISA device name, model text
    bool available = false; // identified as the adapter's own model
    qint16 model = 0;       // from the "*IDN?" reply; 0 when there is none
};

// One identification job for a pool thread.
struct getResourceInfo_params_t
{
    ts1900fp_genSPC *spc = nullptr; // only its model number is read
    ViSession rm = 0;               // shared resource-manager session
    resourceInfo_t info;            // in: as found; out: as identified
};

// Finds every "?*INSTR" resource and identifies each in parallel (one pool
// thread per resource, at most 128) while a modal progress dialog, child of
// parent, shows how many are done. Returns the records sorted with
// descriptorLessThan; an empty list when nothing can be searched.
QList<resourceInfo_t> discoverResources(ts1900fp_genSPC *spc, QWidget *parent);

// The worker: opens the resource, asks "*IDN?" when it is a TCP/IP
// instrument, and writes the identified record back into p->info.
void getResourceInfo(getResourceInfo_params_t *p);

// "Tarsel Ltd.,Xentra <model>-<subtype>..." gives r.model and the first two
// characters of the subtype token; any other reply leaves both alone.
void parseIdentification(const char *reply, resourceInfo_t &r, QString &subtype);

// Numeric order of TCP/IP addresses within a board, board order for the
// other interfaces, text order otherwise.
bool descriptorLessThan(const resourceInfo_t &a, const resourceInfo_t &b);
