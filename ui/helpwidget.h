#pragma once

#include <QTimer>
#include <QWidget>

namespace Ui {
class HelpWidget;
}

// Help for the bench operator: how to use the tool, the address DIP switch and the
// wiring of the module, with a running clock.
class HelpWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWidget(QWidget *parent = nullptr);
    ~HelpWidget() override;

private slots:
    void changeTime();
    void on_pushButton_soft_clicked();
    void on_pushButton_hard_clicked();

private:
    Ui::HelpWidget *ui;
    QTimer timer;
};
