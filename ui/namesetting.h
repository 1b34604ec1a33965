#pragma once

#include <QString>
#include <QWidget>

class QCloseEvent;
class QTableWidget;

namespace Ui {
class NameSetting;
}

// Lets the operator name each switch channel's OFF and ON state; the names live in
// the settings map and the switch panels show them on the channel buttons.
class NameSetting : public QWidget
{
    Q_OBJECT

public:
    explicit NameSetting(QWidget *parent = nullptr);
    ~NameSetting() override;

    static constexpr int kChannels = 64;

signals:
    void saveSuccess();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_save_clicked();
    void on_pushButton_cacel_clicked();

private:
    void setUpTable(QTableWidget *table);
    // Every row from the settings map, or its default name.
    void fillTable(QTableWidget *table, bool outputs);
    void storeTable(QTableWidget *table);

    Ui::NameSetting *ui;
};
