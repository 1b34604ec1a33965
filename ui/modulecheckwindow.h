#pragma once

#include "check/modulecheck.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableWidget;

// The results of a module check: every step, failures first, filterable, and the
// report saved as HTML or CSV.
class ModuleCheckWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ModuleCheckWindow(const CheckRun &run, QWidget *parent = nullptr);

    // Writes the report, HTML or CSV by the file's suffix; false with the reason.
    bool saveReport(const QString &path, QString *error = nullptr) const;

private:
    void applyFilter(const QString &text);
    void saveAs(const QString &suffix);

    CheckRun run;
    QLabel *verdictLabel = nullptr;
    QLineEdit *filterEdit = nullptr;
    QTableWidget *stepTable = nullptr;
};
