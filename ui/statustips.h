#pragma once

class QWidget;

// Status tips would take the status bar, where the link's counters stay. They go
// nowhere; an action's tip is its tool tip instead, on the toolbar and in the menus.
namespace StatusTips {

void showAsToolTips(QWidget *window);

} // namespace StatusTips
