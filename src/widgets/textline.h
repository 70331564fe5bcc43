#pragma once

#include <QString>
#include <QWidget>

// A line of plain text painted as it is. Changing the text repaints the line and lays
// nothing out, so a text that changes several times a second (an age, a count) costs
// next to nothing. Too long a text is cut with an ellipsis at its end.
class TextLine : public QWidget {
    Q_OBJECT
public:
    explicit TextLine(QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QString m_text;
};
