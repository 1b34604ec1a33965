#pragma once

#include <QFont>
#include <QLabel>
#include <QString>

// Fonts and sizes shared by the analog panels.
namespace PanelFonts {

// The smallest height the panels give their large value fields and labels.
constexpr int kFieldMinimumHeight = 30;

// Regular weight whatever the window's font: a bold inherited from the application font
// makes the captions too wide for four channels in a row beside the log.
inline QFont arial(int points)
{
    return QFont(QStringLiteral("Arial"), points, QFont::Normal);
}

inline QLabel *newLabel(const QString &text, int points, Qt::Alignment alignment = Qt::Alignment())
{
    auto *label = new QLabel(text);
    label->setFont(arial(points));
    if (alignment)
        label->setAlignment(alignment);
    return label;
}

// At least the panels' minimum height, and never less than the font needs: a
// fixed minimum below the font's height lets the layout cut the digits.
inline void keepWhole(QWidget *widget)
{
    widget->setMinimumHeight(qMax(kFieldMinimumHeight, widget->minimumSizeHint().height()));
}

} // namespace PanelFonts
