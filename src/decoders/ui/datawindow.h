#pragma once

#include "decoders/fields.h"
#include "decoders/fieldstore.h"
#include "link/dispatcher.h"

#include <QHash>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

class GPS_Main;
class QLabel;
class QPushButton;
class TextLine;
class ValueText;

// What every data window shares: modeless, its open flag set while it is loaded,
// its controls named as the decoders name their fields, and a decoded frame put
// into them by name. While loaded it takes the frames it asked for; closing it (Exit,
// the window's close button or the main window going) unloads it, which ends them,
// and it deletes itself.
class DataWindowBase : public QWidget {
    Q_OBJECT
public:
    ~DataWindowBase() override;

    // Loaded from creation until its unload; a closed window waiting for deletion is not.
    bool isLoaded() const { return m_loaded; }
    // How many frames the window has taken in since it was created.
    int framesTaken() const { return m_framesTaken; }
    // Each text into the control of its name, in order.
    void showFields(const Fields &fields);
    // The texts of a message just received: shown, and its age starts from now.
    void showMessage(const Fields &fields);
    // The same for texts kept in `texts`: only the controls whose text changed.
    void showMessage(const FieldStore &texts);
    void Exit_Click();
    // The small line under the controls that tells how old the message shown is.
    TextLine *messageAge() const { return m_age; }
    void updateMessageAge();
    // A message arrived that the window shows in its own way: its age starts from now.
    void messageArrived();
    // The receiver has gone silent: values greyed and pictures faded until it speaks again.
    void setStale(bool stale);
    bool showsStale() const { return m_staleLook; }
    // Another receiver: nothing the previous one sent stays on show.
    virtual void clearReceiver();

protected:
    // openFlag: the window's flag in the shared state, or null for a window without one.
    DataWindowBase(GPS_Main &g, bool *openFlag, const QString &name, const QString &caption,
                   QWidget *parent);

    // The good frames of this type go to `show` while the window is loaded.
    void takeFrames(quint8 type, std::function<void(const Frame &)> show);

    virtual void Form_Unload();
    void closeEvent(QCloseEvent *e) override;
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

    // Controls that show fields, registered under their names.
    ValueText *addLabel(const QString &name, const QString &text = {});
    ValueText *addCell(const QString &name, int chars);
    ValueText *addTextBox(const QString &name, int chars);
    // Wide enough for bytesPerLine bytes of the dump, high enough for `lines` lines.
    ValueText *addRawHexBox(const QString &name, int bytesPerLine, int lines);
    ValueText *addRawHexLabel(const QString &name);
    QPushButton *addButton(const QString &name, const QString &caption);
    // A caption that no decoder writes; a screen reader reads `buddy` under its text.
    QLabel *caption(const QString &text, QWidget *buddy = nullptr);
    // A drawing that fades, as the values grey, while the receiver is silent.
    void fadeWhenStale(QWidget *picture);

    GPS_Main &m_g;
    // The window's texts, kept from one message to the next.
    FieldStore m_texts;

private:
    void showField(const Field &f);
    void attachAgeLine();
    void Form_Load();
    void registerControl(ValueText *w, const QString &name);

    bool *m_openFlag;
    bool m_loaded = false;
    int m_framesTaken = 0;
    std::vector<FrameDispatcher::Subscription> m_frames;
    QHash<QString, ValueText *> m_controls;
    TextLine *m_age = nullptr;
    QTimer m_ageTick;
    std::optional<qint64> m_lastMessage;
    bool m_staleLook = false;
    QList<QWidget *> m_fades;
};
