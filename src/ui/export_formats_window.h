// "Custom file formats": edits the export formats kept in the settings file
// and writes a custom export file for the shown systems.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;

namespace quorvane {

class MainWindow;

class ExportFormatsWindow : public QWidget {
    Q_OBJECT
public:
    explicit ExportFormatsWindow(MainWindow& main);

    // Opening from the main window: the shown systems become the apply list.
    void open(const std::vector<std::string>& shownSystems);
    void reloadFormats();
    void selectFormat(const QString& name);
    void saveFormat();
    // "Create file!" with the target already chosen; false when nothing started.
    bool createFile(const QString& target);

    QComboBox* formats() const { return formats_; }
    QPlainTextEdit* systemMemo() const { return syslist_; }
    QPlainTextEdit* gameMemo() const { return gamelist_; }
    QPlainTextEdit* romMemo() const { return romlist_; }
    QListWidget* applyList() const { return applyList_; }
    QRadioButton* selectedOnly() const { return selected_; }
    QRadioButton* available() const { return hav_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    MainWindow& main_;
    QComboBox* formats_;
    QPlainTextEdit* syslist_;
    QPlainTextEdit* gamelist_;
    QPlainTextEdit* romlist_;
    QRadioButton* all_;
    QRadioButton* selected_;
    QListWidget* applyList_;
    QRadioButton* mis_;
    QRadioButton* hav_;
};

}  // namespace quorvane
