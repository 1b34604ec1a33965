#pragma once

#include "check/modulefinder.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTableWidget;

// Lists the modules a search found; "Use" hands the chosen one back to the window.
class FindModuleDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindModuleDialog(QWidget *parent = nullptr);

    void showResults(const QList<FoundModule> &modules, const QString &error);

signals:
    void useRequested(const FoundModule &module);

private:
    void useSelected();

    QList<FoundModule> m_modules;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
    QPushButton *m_use = nullptr;
};
