#pragma once

#include <QWidget>

class InputHistory;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class QTableView;
class TrafficFilter;
class TrafficModel;

// The traffic table with its filters (function, result, text, polling hidden), pause and
// CSV export, beside the list of input changes.
class TrafficView : public QWidget
{
    Q_OBJECT

public:
    TrafficView(TrafficModel *model, InputHistory *history, QWidget *parent = nullptr);

    TrafficFilter *filter() const { return m_filter; }
    QTableView *table() const { return m_table; }

private:
    void exportTraffic();
    void exportHistory();
    void followNewRows();

    TrafficModel *m_model;
    InputHistory *m_history;
    TrafficFilter *m_filter;
    QTableView *m_table;
    QListView *m_historyList;
    QComboBox *m_functionBox;
    QComboBox *m_resultBox;
    QLineEdit *m_textEdit;
    QCheckBox *m_hidePollingBox;
    QCheckBox *m_pauseBox;
    QCheckBox *m_followBox;
};
