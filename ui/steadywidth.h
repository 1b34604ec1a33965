#pragma once

#include <QAbstractButton>
#include <QFontMetrics>
#include <QStringList>

// A button whose text changes ("Start detecting", "Stop detecting") keeps the width of the
// widest of its texts, so nothing beside it moves when it changes.
inline void keepWidestText(QAbstractButton *button, const QStringList &texts)
{
    const QFontMetrics metrics(button->font());
    int widest = 0;
    for (const QString &text : texts)
        widest = qMax(widest, metrics.horizontalAdvance(text));
    const int frame = button->sizeHint().width() - metrics.horizontalAdvance(button->text());
    button->setMinimumWidth(frame + widest);
}
