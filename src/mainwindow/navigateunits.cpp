// View, Units and the computer's time zone: how the main window shows positions,
// heights, speeds and local time, and which zone it says that time is in.
#include "decoders/unitformat.h"
#include "mainwindow/navigate.h"
#include "platform/settingsstore.h"
#include "widgets/textline.h"
#include "widgets/valuetext.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace {

// One exclusive group of the Units menu: its items' names are `array`(0), (1), ...
template <typename Choice>
void addGroup(QMenu *menu, const QString &array, const QStringList &captions,
              const std::function<void(Choice)> &choose)
{
    auto *group = new QActionGroup(menu);
    for (int i = 0; i < captions.size(); ++i) {
        QAction *a = menu->addAction(captions[i]);
        a->setObjectName(QStringLiteral("%1(%2)").arg(array).arg(i));
        a->setCheckable(true);
        group->addAction(a);
        QObject::connect(a, &QAction::triggered, menu, [choose, i] { choose(Choice(i)); });
    }
}

} // namespace

void Navigate::buildUnitsMenu(QMenu *view)
{
    QMenu *units = view->addMenu(QStringLiteral("&Units"));
    units->setObjectName(QStringLiteral("mnuUnits"));
    units->menuAction()->setObjectName(QStringLiteral("mnuUnits"));
    const auto change = [this](auto set) {
        Units u = m_g.units();
        set(u);
        Units_Click(u);
    };
    addGroup<PositionFormat>(
        units, QStringLiteral("UnitsPos"),
        {QStringLiteral("Degrees and Minutes (47\u00b022.3392)"),
         QStringLiteral("Decimal Degrees (47.372320\u00b0)"),
         QStringLiteral("Degrees, Minutes, Seconds (47\u00b022\u203220.35\u2033 N)")},
        [change](PositionFormat f) { change([f](Units &u) { u.position = f; }); });
    units->addSeparator();
    addGroup<HeightUnit>(units, QStringLiteral("UnitsHeight"),
                         {QStringLiteral("Height in Metres"), QStringLiteral("Height in Feet")},
                         [change](HeightUnit h) { change([h](Units &u) { u.height = h; }); });
    units->addSeparator();
    addGroup<SpeedUnit>(units, QStringLiteral("UnitsSpeed"),
                        {QStringLiteral("Speed in km/h"), QStringLiteral("Speed in Knots"),
                         QStringLiteral("Speed in mph"), QStringLiteral("Speed in m/s")},
                        [change](SpeedUnit s) { change([s](Units &u) { u.speed = s; }); });
}

void Navigate::addComputerTimeZone(QMenu *tz)
{
    tz->addSeparator();
    QAction *a = tz->addAction(QStringLiteral("Computer's time zone"));
    a->setObjectName(QStringLiteral("TZComputer"));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, &Navigate::TZComputer_Click);
}

void Navigate::loadUnitsAndZone()
{
    const SettingsStore &store = *m_g.platform().settings;
    m_g.ComputerTimeZone = storedTimeZone(store) == kComputerTimeZone;
    showZoneChecks();
    m_g.setUnits(storedUnits(store));
    showUnitChecks();
    connect(&m_g, &GPS_Main::unitsChanged, this, &Navigate::showUnitChecks, Qt::UniqueConnection);
}

void Navigate::Units_Click(const Units &units)
{
    saveUnits(*m_g.platform().settings, units);
    m_g.setUnits(units);
}

void Navigate::showUnitChecks()
{
    const Units &u = m_g.units();
    for (const auto &[array, index] : {std::pair{QStringLiteral("UnitsPos"), int(u.position)},
                                       std::pair{QStringLiteral("UnitsHeight"), int(u.height)},
                                       std::pair{QStringLiteral("UnitsSpeed"), int(u.speed)}})
        if (QAction *a = menuItem(QStringLiteral("%1(%2)").arg(array).arg(index)))
            a->setChecked(true);
    // The last fix again in the new units; nothing before the first.
    if (!box(StatusBox::Vality)->text().isEmpty())
        ShowNavStatus(QByteArrayView(m_g.LastNavigation.data() + 1,
                                     qsizetype(m_g.LastNavigation.size() - 1)));
}

void Navigate::TZComputer_Click()
{
    m_g.ComputerTimeZone = true;
    m_g.platform().settings->SaveSetting(QStringLiteral("Time Zone"), QStringLiteral("Computer"),
                                         QStringLiteral("True"));
    showZoneChecks();
}

void Navigate::showZoneChecks()
{
    // While the computer's zone is chosen it alone is checked; the whole-hour index it
    // stands in for comes back checked when it is left.
    for (int i = 0; i <= 24; ++i)
        if (QAction *a = menuItem(QStringLiteral("TZ(%1)").arg(i)))
            a->setChecked(!m_g.ComputerTimeZone && i == m_g.TimeZoneIndex);
    if (QAction *a = menuItem(QStringLiteral("TZComputer")))
        a->setChecked(m_g.ComputerTimeZone);
    showZoneNames();
}

void Navigate::showZoneNames()
{
    const QString tip =
        QStringLiteral("Time zone: %1").arg(timeZoneName(m_g.shownTimeZone(), m_g.clock().now()));
    ValueText *date = box(StatusBox::TimeDate);
    if (date->toolTip() != tip)
        date->setToolTip(tip);
    // The status line's tooltip: the receiver's clock offset, the line's whole text (for
    // when it is cut off) and the zone.
    const QString lineTip =
        !m_linkStatus ? QString()
        : m_offsetTip.isEmpty()
            ? m_linkStatus->text() + QLatin1Char('\n') + tip
            : m_offsetTip + QLatin1Char('\n') + m_linkStatus->text() + QLatin1Char('\n') + tip;
    if (m_linkStatus && m_linkStatus->toolTip() != lineTip)
        m_linkStatus->setToolTip(lineTip);
}
