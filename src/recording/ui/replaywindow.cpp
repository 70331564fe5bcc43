#include "recording/ui/replaywindow.h"

#include "recording/replayport.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

ReplayWindow::ReplayWindow(ReplayPort &replay, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_replay(replay)
{
    setObjectName(QStringLiteral("Replay"));
    setWindowTitle(QStringLiteral("Replay"));

    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setObjectName(QStringLiteral("ReplayPause"));
    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("ReplaySpeed"));
    for (double s : ReplayPort::speeds())
        m_speed->addItem(replaySpeedText(s), s);
    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setObjectName(QStringLiteral("ReplayPosition"));
    m_position->setMinimumWidth(240);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("ReplayTime"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_pause);
    controls->addWidget(new QLabel(QStringLiteral("Speed"), this));
    controls->addWidget(m_speed);
    controls->addWidget(m_time, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_position);

    connect(m_pause, &QPushButton::clicked, this, &ReplayWindow::Pause_Click);
    connect(m_speed, &QComboBox::activated, this, &ReplayWindow::Speed_Click);
    connect(m_position, &QSlider::sliderReleased, this, &ReplayWindow::Position_Change);
    // Keys, wheel and page clicks move it without a drag to let go of.
    connect(m_position, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &ReplayWindow::Position_Change, Qt::QueuedConnection);
    });
    connect(&m_replay, &ReplayPort::progressed, this, &ReplayWindow::refresh);
    refresh();
}

void ReplayWindow::refresh()
{
    // At the end there is nothing to pause: the button starts the recording over.
    m_pause->setText(m_replay.finished() ? QStringLiteral("Play again")
                     : m_replay.paused() ? QStringLiteral("Play")
                                         : QStringLiteral("Pause"));
    const int index = m_speed->findData(m_replay.speed());
    if (index >= 0 && index != m_speed->currentIndex())
        m_speed->setCurrentIndex(index);
    // A slider held by the user is theirs until let go.
    if (!m_position->isSliderDown()) {
        const qint64 step = replaySliderStepMs(m_replay.durationMs());
        m_position->setRange(0, int(m_replay.durationMs() / step));
        m_position->setValue(int(m_replay.positionMs() / step));
    }
    m_time->setText(QStringLiteral("%1 / %2").arg(replayTimeText(m_replay.positionMs()),
                                                  replayTimeText(m_replay.durationMs())));
}

void ReplayWindow::Pause_Click()
{
    if (m_replay.finished()) {
        m_replay.seek(0);
        m_replay.setPaused(false);
        return;
    }
    m_replay.setPaused(!m_replay.paused());
}

void ReplayWindow::Speed_Click(int index)
{
    if (index >= 0 && index < ReplayPort::speeds().size())
        m_replay.setSpeed(ReplayPort::speeds()[index]);
}

void ReplayWindow::Position_Change()
{
    m_replay.seek(qint64(m_position->value()) * replaySliderStepMs(m_replay.durationMs()));
}
