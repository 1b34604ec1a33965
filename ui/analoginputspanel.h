#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

class Sender;
class Session;

// The analog inputs panel: one cell per channel with its reading, polled while
// detection is on.
class AnalogInputsPanel : public QObject
{
    Q_OBJECT

public:
    // The form's widgets the panel adopts: the layout its cells go in, the label that
    // shows the frame last sent and the detection button.
    struct Widgets
    {
        QVBoxLayout *layout = nullptr;
        QLabel *frameLabel = nullptr;
        QPushButton *detectButton = nullptr;
    };

    AnalogInputsPanel(Session *session, const Widgets &widgets, QObject *parent = nullptr);

    // One cell per channel, reading in `unit`; a running detection ends with the old cells.
    void build(int count, const QString &unit);
    const QList<QLabel *> &values() const { return valueLabels; }
    const QList<QWidget *> &cells() const { return cellWidgets; }

    bool detecting() const;
    // What the detection button does: starts detection, or ends it.
    void toggleDetection();
    // Detection that is on runs again, with the address of now.
    void restartDetection();

    // The readings are not known now.
    void showUnknown();

public slots:
    // A detection reply, decoded to one reading per channel ("4.000 5.000 …").
    void showValues(const QString &data);

signals:
    void request(Sender *sender);
    // Withdraws the queued requests of a kind.
    void withdraw(const QString &kind);
    // A reply showed the module's readings: the window may drop its "No reply".
    void statesConfirmed();

private:
    Session *session;
    Widgets form;
    QList<QLabel *> valueLabels;
    QList<QWidget *> cellWidgets;
    QGridLayout *grid = nullptr;
};
