#include "recording/ui/recordreplay.h"

#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "platform/messageboxes.h"
#include "platform/quotedtext.h"
#include "platform/selectingserialport.h"
#include "platform/ui/screenplace.h"
#include "recording/recorder.h"
#include "recording/recordingreader.h"
#include "recording/replayport.h"
#include "recording/ui/replaywindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QThread>

#include <atomic>

namespace {

const QString kFilter = QStringLiteral("Kestrel recordings (*.krec);;All files (*)");

QString exportFilter(ExportFormat f)
{
    switch (f) {
    case ExportFormat::Gpx:
        return QStringLiteral("GPX track (*.gpx)");
    case ExportFormat::Kml:
        return QStringLiteral("KML (*.kml)");
    case ExportFormat::Csv:
        return QStringLiteral("CSV (*.csv)");
    case ExportFormat::Nmea:
        return QStringLiteral("NMEA 0183 (*.nmea)");
    }
    return {};
}

// One message for all the damaged lines of a recording, however many there are.
QString damagedText(const QString &file, const DamagedLines &damaged, const QString &rest)
{
    return QStringLiteral("%1 has %2, skipped; everything else %3.\n%4")
        .arg(quotedPath(file), damaged.countText(), rest, damaged.text().join(QLatin1Char('\n')));
}

constexpr ExportFormat kFormats[] = {ExportFormat::Gpx, ExportFormat::Kml, ExportFormat::Csv,
                                     ExportFormat::Nmea};

} // namespace

RecordReplay::RecordReplay(GPS_Main &g, PortKeeper &keeper, QWidget *window)
    : QObject(window), m_g(g), m_keeper(keeper), m_window(window)
{
    m_recorder = new Recorder(g, keeper.port(), this);
    // Told after the receive handler has returned: a box opened inside it would hold
    // the receiver's bytes back for as long as it stays open.
    connect(
        m_recorder, &Recorder::failed, this,
        [this](const QString &error) {
            recordingStopped(QStringLiteral("%1 could not be written (%2). It holds what came "
                                            "before.")
                                 .arg(quotedPath(m_recorder->path()), error));
        },
        Qt::QueuedConnection);
    connect(
        m_recorder, &Recorder::deleted, this,
        [this] {
            recordingStopped(QStringLiteral("%1 was deleted while it was being recorded, and "
                                            "what was recorded went with it.")
                                 .arg(quotedPath(m_recorder->path())));
        },
        Qt::QueuedConnection);
    if (auto *selecting = qobject_cast<SelectingSerialPort *>(&keeper.port())) {
        auto replay = std::make_unique<ReplayPort>(g.clock());
        m_replay = replay.get();
        selecting->addDevice(ReplayPort::deviceName(), std::move(replay),
                             SelectingSerialPort::Offered::No);
        connect(m_replay, &ReplayPort::outputIgnored, this, [this](const QByteArray &bytes) {
            m_g.prependLog(QStringLiteral("RPL: %1 not answered")
                               .arg(QString::fromLatin1(bytes.toHex(' ').toUpper())));
        });
        connect(m_replay, &ReplayPort::progressed, this, &RecordReplay::updateActivity);
    }
    // The recording's size grows with nothing else happening.
    m_tick.setInterval(500);
    connect(&m_tick, &QTimer::timeout, this, &RecordReplay::updateActivity);
    m_tick.start();
}

RecordReplay::~RecordReplay()
{
    // A background read stops at its next wait and is waited for: it writes into
    // memory that ends with this object's owner.
    if (m_loader) {
        if (m_cancelLoading)
            m_cancelLoading();
        m_loader->wait();
        delete m_loader;
    }
    if (m_replayWindow)
        delete m_replayWindow;
}

ReplayWindow *RecordReplay::replayWindow() const
{
    return m_replayWindow;
}

void RecordReplay::addMenuItems(QMenu *file)
{
    m_menu = file;
    const auto add = [&](const char *name, const QString &caption, void (RecordReplay::*slot)()) {
        QAction *a = file->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
    };
    file->addSeparator();
    add("mnuRecord", QStringLiteral("&Record..."), &RecordReplay::Record_Click);
    add("mnuStopRecording", QStringLiteral("Stop Re&cording"), &RecordReplay::StopRecording_Click);
    add("mnuOpenRecording", QStringLiteral("&Open Recording..."),
        &RecordReplay::OpenRecording_Click);
    add("mnuExport", QStringLiteral("&Export..."), &RecordReplay::Export_Click);
    updateMenus();
}

void RecordReplay::updateMenus()
{
    if (!m_menu)
        return;
    for (QAction *a : m_menu->actions()) {
        if (a->objectName() == QLatin1String("mnuRecord"))
            a->setEnabled(!m_recorder->recording());
        else if (a->objectName() == QLatin1String("mnuStopRecording"))
            a->setEnabled(m_recorder->recording());
        else if (a->objectName() == QLatin1String("mnuOpenRecording"))
            a->setEnabled(m_replay != nullptr);
    }
}

void RecordReplay::updateActivity()
{
    QStringList parts;
    if (m_replay && m_replay->PortOpen())
        parts << m_replay->statusText();
    if (m_recorder->recording())
        parts << m_recorder->statusText();
    m_g.link().setActivity(parts.join(QStringLiteral("  \u00b7  ")));
}

void RecordReplay::recordingStopped(const QString &why)
{
    updateMenus();
    updateActivity();
    tell(QStringLiteral("Recording stopped: ") + why, true);
}

void RecordReplay::tell(const QString &text, bool problem)
{
    m_g.platform().boxes->show(m_window, text, QStringLiteral("Kestrel"), MsgButtons::Ok,
                               problem ? MsgIcon::Exclamation : MsgIcon::Information,
                               MsgAnswer::Ok);
}

QString RecordReplay::choose(FileQuestion question, ExportFormat &format)
{
    if (m_chooser)
        return m_chooser(question, format);
    switch (question) {
    case FileQuestion::Record:
        return QFileDialog::getSaveFileName(
            m_window, QStringLiteral("Record"),
            QDir::home().filePath(
                QStringLiteral("kestrel-%1.krec")
                    .arg(m_g.clock().now().toString(QStringLiteral("yyyy-MM-dd-HHmmss")))),
            kFilter);
    case FileQuestion::OpenRecording:
        return QFileDialog::getOpenFileName(m_window, QStringLiteral("Open Recording"), QString(),
                                            kFilter);
    case FileQuestion::Export: {
        QStringList filters;
        for (ExportFormat f : kFormats)
            filters << exportFilter(f);
        QString selected = exportFilter(format);
        const QString suggested = QFileInfo(m_lastRecording).path() + QLatin1Char('/') +
                                  QFileInfo(m_lastRecording).completeBaseName() +
                                  exportSuffix(format);
        QString path = QFileDialog::getSaveFileName(m_window, QStringLiteral("Export"), suggested,
                                                    filters.join(QStringLiteral(";;")), &selected);
        for (ExportFormat f : kFormats)
            if (selected == exportFilter(f))
                format = f;
        // A name ending in a format's suffix says the format; one without an ending
        // gets the chosen format's.
        if (const auto named = exportFormatNamed(QFileInfo(path).suffix()))
            format = *named;
        else if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += exportSuffix(format);
        return path;
    }
    }
    return {};
}

void RecordReplay::Record_Click()
{
    ExportFormat unused = ExportFormat::Gpx;
    const QString path = choose(FileQuestion::Record, unused);
    if (!path.isEmpty())
        startRecording(path);
}

void RecordReplay::StopRecording_Click()
{
    stopRecording();
}

void RecordReplay::OpenRecording_Click()
{
    ExportFormat unused = ExportFormat::Gpx;
    const QString path = choose(FileQuestion::OpenRecording, unused);
    if (!path.isEmpty())
        openRecording(path);
}

void RecordReplay::Export_Click()
{
    if (m_lastRecording.isEmpty()) {
        tell(QStringLiteral("There is nothing to export yet: record with File, Record... or "
                            "open a recording with File, Open Recording..."),
             true);
        return;
    }
    ExportFormat format = ExportFormat::Gpx;
    const QString path = choose(FileQuestion::Export, format);
    if (!path.isEmpty())
        exportRecording(m_lastRecording, format, path);
}

bool RecordReplay::startRecording(const QString &path)
{
    QStringList comments{QStringLiteral("port: %1").arg(m_keeper.description())};
    if (!m_recorder->start(path, comments)) {
        tell(QStringLiteral("Cannot record to %1: %2. Nothing is recorded; choose another "
                            "file or folder.")
                 .arg(quotedPath(path), m_recorder->errorString()),
             true);
        return false;
    }
    m_lastRecording = path;
    updateMenus();
    updateActivity();
    return true;
}

void RecordReplay::stopRecording()
{
    m_recorder->stop();
    updateMenus();
    updateActivity();
}

bool RecordReplay::openRecording(const QString &path, double speed)
{
    if (!m_replay)
        return false;
    auto opened = std::make_unique<OpenedRecording>();
    if (!opened->input.open(path)) {
        tell(
            QStringLiteral("Cannot open %1: %2").arg(quotedPath(path), opened->input.errorString()),
            true);
        return false;
    }
    return load(std::move(opened), path, speed, false);
}

bool RecordReplay::openRecording(std::unique_ptr<OpenedRecording> opened, const QString &path,
                                 double speed)
{
    return m_replay && load(std::move(opened), path, speed, true);
}

bool RecordReplay::loading() const
{
    return m_loader != nullptr;
}

namespace {

// A file this small is read before the window could be seen to wait.
constexpr qint64 kReadAtOnceBytes = 2'000'000;

// What the background reading shares with the window: the window asks, never touches.
struct Loading {
    std::unique_ptr<OpenedRecording> opened;
    bool headerRead = false;
    ReplayRecording recording;
    bool ok = false;
    std::atomic<qint64> done{0};
    std::atomic<bool> cancelled{false};
};

QString notPlayableText(const QString &path, const QString &why)
{
    return QStringLiteral("%1 is not a Kestrel recording that can be played: %2")
        .arg(quotedPath(path), why);
}

} // namespace

bool RecordReplay::load(std::unique_ptr<OpenedRecording> opened, const QString &path, double speed,
                        bool headerRead)
{
    if (m_loader) {
        tell(QStringLiteral("Cannot open %1 while another recording is being read.")
                 .arg(quotedPath(path)),
             true);
        return false;
    }
    const qint64 size = opened->input.size();
    if (size > ReplayRecording::kMaxFileBytes) {
        tell(replayTooLargeText(path, size), true);
        return false;
    }
    if (size >= 0 && size <= kReadAtOnceBytes) {
        if (!headerRead && !opened->reader.readHeader()) {
            tell(notPlayableText(path, opened->reader.error()), true);
            return false;
        }
        ReplayRecording recording;
        if (!recording.read(opened->reader)) {
            tell(notPlayableText(path, recording.error), true);
            return false;
        }
        return play(std::move(recording), path, speed);
    }

    auto loading = std::make_shared<Loading>();
    loading->opened = std::move(opened);
    loading->headerRead = headerRead;
    Loading *l = loading.get();
    l->opened->input.setCancel([l] { return l->cancelled.load(); });
    m_cancelLoading = [l] { l->cancelled = true; };
    QThread *thread = QThread::create([l] {
        RecordingReader &reader = l->opened->reader;
        if (!l->headerRead && !reader.readHeader()) {
            l->recording.error = reader.error();
            return;
        }
        l->ok = l->recording.read(reader, [l](qint64 n) { l->done = n; });
    });
    m_loader = thread;
    // Shown after half a second: a pipe that delivers at once never shows it.
    auto *progress = new QProgressDialog(
        QStringLiteral("Reading %1...").arg(quotedPath(QFileInfo(path).fileName())),
        QStringLiteral("Cancel"), 0, size > 0 ? 1000 : 0, m_window);
    progress->setObjectName(QStringLiteral("RecordingProgress"));
    progress->setMinimumDuration(500);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setValue(0);
    auto *poll = new QTimer(progress);
    poll->setInterval(100);
    const QString name = QFileInfo(path).fileName();
    connect(poll, &QTimer::timeout, progress, [progress, l, size, name] {
        if (size > 0)
            progress->setValue(int(std::min<qint64>(l->done * 1000 / size, 999)));
        else
            progress->setLabelText(readingProgressText(name, l->done, -1));
    });
    poll->start();
    connect(progress, &QProgressDialog::canceled, this, [l] { l->cancelled = true; });
    connect(thread, &QThread::finished, this, [this, loading, thread, progress, path, speed] {
        delete progress;
        thread->deleteLater();
        m_cancelLoading = nullptr;
        if (loading->cancelled) {
            m_g.prependLog(QStringLiteral("RPL: reading %1 cancelled")
                               .arg(quotedPath(QFileInfo(path).fileName())));
            return;
        }
        if (!loading->ok) {
            tell(notPlayableText(path, loading->recording.error), true);
            return;
        }
        play(std::move(loading->recording), path, speed);
    });
    thread->start();
    return true;
}

bool RecordReplay::play(ReplayRecording recording, const QString &path, double speed)
{
    const DamagedLines damaged = recording.damaged;
    if (recording.cutShort)
        m_g.prependLog(QStringLiteral("RPL: recording ends in an incomplete line"));
    if (m_keeper.PortOpen())
        m_keeper.close();
    m_replay->load(std::move(recording), QFileInfo(path).fileName());
    m_replay->setSpeed(speed);
    m_replay->setPaused(false);
    SerialPort &port = m_keeper.port();
    port.setDevice(ReplayPort::deviceName());
    if (!m_keeper.open()) {
        tell(QStringLiteral("Cannot play %1: %2").arg(quotedPath(path), port.errorString()), true);
        return false;
    }
    m_lastRecording = path;
    if (!m_replayWindow) {
        m_replayWindow = new ReplayWindow(*m_replay, m_window);
        placeOnScreen(m_replayWindow, m_window);
    }
    m_replayWindow->refresh();
    m_replayWindow->show();
    m_replayWindow->raise();
    updateActivity();
    if (!damaged.isEmpty())
        tell(damagedText(QFileInfo(path).fileName(), damaged, QStringLiteral("plays")), true);
    return true;
}

bool RecordReplay::exportRecording(const QString &recordingPath, ExportFormat format,
                                   const QString &out)
{
    const ExportOutcome outcome = exportRecordingFile(recordingPath, format, out);
    if (!outcome.ok()) {
        tell(QStringLiteral("Export failed: %1").arg(outcome.error), true);
        return false;
    }
    QString text =
        QStringLiteral("Exported to %1.\n%2.").arg(quotedPath(out), outcome.track.summary());
    if (outcome.track.pointCount == 0)
        text += QStringLiteral("\nNo navigation message had a 2D or 3D fix: the file has no "
                               "points.");
    if (!outcome.damaged.isEmpty())
        text +=
            QStringLiteral("\n\n") + damagedText(QFileInfo(recordingPath).fileName(),
                                                 outcome.damaged, QStringLiteral("was exported"));
    tell(text, !outcome.damaged.isEmpty());
    return true;
}
