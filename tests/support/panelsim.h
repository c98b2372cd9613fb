// The panel against simulated units: what the program tests share.
#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

#include "modalanswer.h"
#include "simprocess.h"

class ts4820_spc;
class ts4820fp_App;
class QWidget;

// The resources VISA lists for the search.
void listResources(const QList<QByteArray> &resources);

// Starts the main window with "Auto Find", then the given answers; null
// (with a warning) when the start-up did not go as the answers expect.
std::unique_ptr<ts4820fp_App> autoFind(ts4820_spc &adapter, const QList<ModalAnswer::Step> &tree = {});
