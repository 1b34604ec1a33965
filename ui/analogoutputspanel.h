#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QEvent;
class QGridLayout;
class QVBoxLayout;

class AnalogOutputRow;
class Sender;
class Session;

// The analog outputs panel: one row per channel with its value, precision, maximum and
// mode, written to the module and read back from it.
class AnalogOutputsPanel : public QObject
{
    Q_OBJECT

public:
    AnalogOutputsPanel(Session *session, QVBoxLayout *layout, QObject *parent = nullptr);

    // One row per channel, in `unit`; the module's registers are read at once.
    void build(int count, const QString &unit);
    const QList<AnalogOutputRow *> &rows() const { return channelRows; }
    // Reads the value, maximum and mode registers of every channel.
    void readBack();

public slots:
    // Read-back of the analog output blocks (kind of the request, whole reply).
    void showReadBack(const QString &kind, const QString &reply);

signals:
    void request(Sender *sender);

protected:
    // Enter in a value or precision field writes the row; Escape cancels its edits.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectRow(AnalogOutputRow *row);
    void write(AnalogOutputRow *row);

    Session *session;
    QVBoxLayout *layout;
    QList<AnalogOutputRow *> channelRows;
    QGridLayout *grid = nullptr;
};
