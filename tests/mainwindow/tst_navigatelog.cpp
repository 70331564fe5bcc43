#include "framebuilder.h"
#include "link/gpsmain.h"
#include "mainwindow/navigate.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

struct Fixture {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    std::unique_ptr<Navigate> w;

    Fixture()
    {
        w = std::make_unique<Navigate>(g, quality, std::make_unique<FakeSerialPort>());
        w->Form_Load();
    }
    QPlainTextEdit *log() const { return w->findChild<QPlainTextEdit *>("ErrorDis"); }
    void showStatus(bool shown)
    {
        if (!log()->isHidden() != shown)
            w->ShoStatWin_Click();
        QCOMPARE(!log()->isHidden(), shown);
    }
};

QString lines(std::initializer_list<const char *> newestFirst)
{
    QString s;
    for (const char *l : newestFirst)
        s += QString::fromLatin1(l) + QStringLiteral("\r\n");
    return s;
}

} // namespace

class TestNavigateLog : public QObject {
    Q_OBJECT
private slots:
    void shownLogCatchesUpWithEveryFrameOfABurst();
    void hiddenLogShowsTheNewestLinesWhenShown();
    void lineEventsReachTheShownLog();
};

void TestNavigateLog::shownLogCatchesUpWithEveryFrameOfABurst()
{
    Fixture f;
    f.showStatus(true);
    f.g.OnReceive(buildFrameOfType(0xB0) + buildFrameOfType(0xB1) + buildFrameOfType(0xB6));
    QTRY_COMPARE(f.log()->toPlainText(),
                 QString(lines({"CMD: B6", "CMD: B1", "CMD: B0"})).replace("\r\n", "\n"));
    f.g.OnReceive(buildFrameOfType(0xB7));
    QTRY_VERIFY(f.log()->toPlainText().startsWith("CMD: B7\nCMD: B6\n"));
}

void TestNavigateLog::hiddenLogShowsTheNewestLinesWhenShown()
{
    Fixture f;
    f.showStatus(false);
    f.g.OnReceive(buildFrameOfType(0xB8) + buildFrameOfType(0xB9));
    QCoreApplication::processEvents();
    f.showStatus(true);
    QCOMPARE(f.log()->toPlainText(), QString(lines({"CMD: B9", "CMD: B8"})).replace("\r\n", "\n"));
    f.showStatus(false);
    f.g.OnReceive(buildFrameOfType(0xB0));
    f.showStatus(true);
    QVERIFY(f.log()->toPlainText().startsWith("CMD: B0\nCMD: B9\n"));
}

void TestNavigateLog::lineEventsReachTheShownLog()
{
    Fixture f;
    f.showStatus(true);
    f.g.OnCommEvent(1001);
    QTRY_VERIFY(f.log()->toPlainText().startsWith("ERR: Break"));
}

QTEST_MAIN(TestNavigateLog)
#include "tst_navigatelog.moc"
