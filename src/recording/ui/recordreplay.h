#pragma once

#include "recording/export.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class GPS_Main;
class PortKeeper;
class QMenu;
class QWidget;
class Recorder;
class ReplayPort;
class ReplayWindow;
class QThread;
struct OpenedRecording;
class ReplayRecording;

// File, Record... / Stop Recording, Open Recording... and Export... of the main
// window: the recorder on the program's port, the recorded receiver among the
// port's adapters with its Replay window, and the export of either recording.
class RecordReplay : public QObject {
    Q_OBJECT
public:
    enum class FileQuestion { Record, OpenRecording, Export };
    // Asks the user for a file name; empty for Cancel. For Export `format` says which
    // format the user chose and may be changed. Tests answer in the user's place.
    using FileChooser = std::function<QString(FileQuestion, ExportFormat &format)>;

    // The replay is offered where the port selects its adapter by device name (the
    // program's own port); elsewhere Open Recording is disabled.
    RecordReplay(GPS_Main &g, PortKeeper &keeper, QWidget *window);
    ~RecordReplay() override;

    void addMenuItems(QMenu *file);
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    void Record_Click();
    void StopRecording_Click();
    void OpenRecording_Click();
    void Export_Click();

    // Each tells the user in a message box when it cannot do what is asked.
    bool startRecording(const QString &path);
    void stopRecording();
    // A recording read in a moment plays at once; a larger one, a pipe or a FIFO is
    // read in the background with a progress bar and Cancel, and true means "loading".
    bool openRecording(const QString &path, double speed = 1);
    // The same for a recording whose format line start-up has already read.
    bool openRecording(std::unique_ptr<OpenedRecording> opened, const QString &path, double speed);
    // True while a recording is read in the background.
    bool loading() const;
    bool exportRecording(const QString &recordingPath, ExportFormat format, const QString &out);
    // What Export... exports: the recording being made or last made, or the one
    // opened, whichever was most recent; empty when there is none.
    QString exportSource() const { return m_lastRecording; }

    Recorder &recorder() { return *m_recorder; }
    ReplayPort *replayPort() const { return m_replay; }
    ReplayWindow *replayWindow() const;

private:
    bool load(std::unique_ptr<OpenedRecording> opened, const QString &path, double speed,
              bool headerRead);
    bool play(ReplayRecording recording, const QString &path, double speed);
    void updateActivity();
    void updateMenus();
    // The recording ended without the user: the menus, the status line and a box say so.
    void recordingStopped(const QString &why);
    void tell(const QString &text, bool problem);
    QString choose(FileQuestion question, ExportFormat &format);

    GPS_Main &m_g;
    PortKeeper &m_keeper;
    QWidget *m_window;
    Recorder *m_recorder = nullptr;
    ReplayPort *m_replay = nullptr;
    QPointer<ReplayWindow> m_replayWindow;
    QString m_lastRecording;
    QMenu *m_menu = nullptr;
    FileChooser m_chooser;
    QTimer m_tick;
    QPointer<QThread> m_loader;
    std::function<void()> m_cancelLoading;
};
