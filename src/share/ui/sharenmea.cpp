#include "share/ui/sharenmea.h"

#include "link/gpsmain.h"
#include "share/nmeashare.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

ShareNmea::ShareNmea(GPS_Main &g, NmeaShare &share, QWidget *parent)
    : QDialog(parent), m_g(g), m_share(share)
{
    setObjectName(QStringLiteral("ShareNmea"));
    setWindowTitle(QStringLiteral("Share as NMEA"));
    auto *layout = new QVBoxLayout(this);
    auto *intro =
        new QLabel(QStringLiteral("Programs on this computer (gpsd, chart plotters) can read the\n"
                                  "receiver as NMEA 0183 sentences from a TCP port, while this\n"
                                  "program shows it. Only this computer can connect."),
                   this);
    layout->addWidget(intro);
    ShareOn = new QCheckBox(QStringLiteral("&Share as NMEA"), this);
    ShareOn->setObjectName(QStringLiteral("ShareOn"));
    layout->addWidget(ShareOn);
    auto *form = new QFormLayout;
    SharePort = new QSpinBox(this);
    SharePort->setObjectName(QStringLiteral("SharePort"));
    SharePort->setRange(1, 65535);
    form->addRow(QStringLiteral("127.0.0.1 &port:"), SharePort);
    ShareState = new QLabel(this);
    ShareState->setObjectName(QStringLiteral("ShareState"));
    ShareState->setWordWrap(true);
    form->addRow(QStringLiteral("Now:"), ShareState);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ShareNmea::OK_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ShareOn, &QCheckBox::toggled, SharePort, &QWidget::setEnabled);
}

void ShareNmea::Form_Load()
{
    // What is served now (kestrel --nmea-tcp), or else what was saved.
    const NmeaShareSetting s = NmeaShareSetting::load(m_g.platform().settings);
    const bool on = s.enabled || m_share.serving();
    ShareOn->setChecked(on);
    SharePort->setValue(m_share.serving() ? m_share.server().port() : s.port);
    SharePort->setEnabled(on);
    ShareState->setText(m_share.stateText());
}

void ShareNmea::OK_Click()
{
    NmeaShareSetting s;
    s.enabled = ShareOn->isChecked();
    s.port = quint16(SharePort->value());
    if (!s.enabled) {
        m_share.stop();
    } else if (!m_share.serving() || m_share.server().port() != s.port) {
        QString error;
        if (!m_share.start(LoopbackAddress::localHost(s.port), error)) {
            ShareState->setText(error + QStringLiteral(". Choose another port."));
            // The refusal is longer than the state it replaces and wraps: the window
            // grows to show all of its lines.
            layout()->activate();
            const int needed = heightForWidth(width());
            if (needed > height())
                resize(width(), needed);
            return;
        }
    }
    s.save(m_g.platform().settings);
    accept();
}
