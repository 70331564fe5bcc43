#include "decoders/ui/autorefresh.h"

#include "decoders/refreshinterval.h"
#include "link/gpsmain.h"
#include "platform/messageboxes.h"
#include "platform/quotedtext.h"

#include <QLineEdit>

namespace {

// Enough of what was typed to recognise it in the message.
QString elided(const QString &text)
{
    return quotedText(text);
}

} // namespace

AutoRefresh::AutoRefresh(GPS_Main &g, QLineEdit *intervalBox,
                         std::function<void(const void *owner)> request, QWidget *window)
    : QObject(window), m_g(g), m_box(intervalBox), m_request(std::move(request)), m_window(window)
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    connect(&m_timer, &QTimer::timeout, this, &AutoRefresh::Timer1_Timer);
}

void AutoRefresh::Refresh_Click()
{
    // Asked again by hand: an older request still waiting would only bring the same answer.
    m_g.dropWaiting(m_window);
    m_request(m_window);
    m_timer.stop();
}

void AutoRefresh::stop()
{
    m_timer.stop();
    m_g.dropWaiting(m_window);
}

void AutoRefresh::Auto_Click()
{
    if (m_box->text().isEmpty())
        m_box->setText(QStringLiteral("1"));
    const std::optional<int> ms = refreshIntervalMs(m_box->text());
    if (!ms) {
        m_timer.stop();
        if (m_g.platform().boxes)
            m_g.platform().boxes->show(
                m_window,
                QStringLiteral("Auto refresh accepts an interval of 0 to 65.535 seconds, "
                               "not \"%1\".")
                    .arg(elided(m_box->text())),
                QStringLiteral("Auto Refresh"), MsgButtons::Ok, MsgIcon::Exclamation,
                MsgAnswer::Ok);
        return;
    }
    // A zero interval holds the timer still, as a stopped one.
    if (*ms == 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(*ms);
}

void AutoRefresh::Timer1_Timer()
{
    if (m_g.sending(m_window)) {
        Auto_Click();
        return;
    }
    m_request(m_window);
    m_timer.stop();
    Auto_Click();
}
