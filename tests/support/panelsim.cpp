#include "panelsim.h"

#include "ts4820_spc.h"
#include "ts4820fp_app.h"

void listResources(const QList<QByteArray> &resources)
{
    qputenv("TS4820_VISA_RESOURCES", resources.join(';'));
}

std::unique_ptr<ts4820fp_App> autoFind(ts4820_spc &adapter, const QList<ModalAnswer::Step> &tree)
{
    ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Auto Find"), nullptr}} + tree, 20000);
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    if (!answers.done()) {
        qWarning("start-up not answered (%d answers): %s", int(answers.answered()),
                 qPrintable(answers.error()));
        return nullptr;
    }
    return window;
}
