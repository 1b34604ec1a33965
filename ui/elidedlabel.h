#pragma once

#include <QLabel>

// A one-line label that paints as much of its text as its room allows, with "…" where
// it is cut, and shows the whole text as its tool tip. text() is always the whole text,
// and the room it asks for does not follow the text, so a new text moves nothing.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setElideMode(Qt::TextElideMode mode);
    Qt::TextElideMode elideMode() const { return m_elideMode; }
    // Width of the whole text in the label's font, frame and margins included.
    int wholeWidth() const;
    // True when the painted text is cut.
    bool isElided() const;
    // The text as painted in the label's present width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int spareWidth() const;

    Qt::TextElideMode m_elideMode = Qt::ElideRight;
};
