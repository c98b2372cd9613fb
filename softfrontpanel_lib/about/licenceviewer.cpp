#include "licenceviewer.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextStream>
#include <QVBoxLayout>

namespace {
QString readText(const QString &resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QString();
    }
    return QTextStream(&file).readAll();
}
} // namespace

licenceViewer::licenceViewer(const QString &title, const QString &resourcePath, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setModal(true);

    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = m_text->font();
    font.setFamily(QStringLiteral("Courier"));
    m_text->setFont(font);
    // Room for a licence line of about 80 columns at any screen density.
    const qreal scale = screen()->logicalDotsPerInchX() / 96.0;
    m_text->setMinimumSize(qRound(650 * scale), qRound(500 * scale));
    m_text->setPlainText(readText(resourcePath));

    auto *ok = new QPushButton(tr("Ok"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
}
