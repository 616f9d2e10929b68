// "Custom file formats": edits the export formats kept in the settings file
// and writes a custom export file for the shown systems.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "core/settings.h"

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;

namespace quorvane {

class CurrentDatabase;
class JobHost;

class ExportFormatsWindow final : public QWidget {
    Q_OBJECT
public:
    ExportFormatsWindow(const Settings& settings, JobHost& host, CurrentDatabase& database, QWidget* parent = nullptr);

    // Opening from the main window: the shown systems become the apply list.
    void open(const std::vector<std::string>& shownSystems);
    void reloadFormats();
    void selectFormat(const QString& name);
    void saveFormat();
    // "Create file!" with the target already chosen; false when nothing started.
    bool createFile(const QString& target);

    QComboBox* formats() const { return formats_; }
    QPlainTextEdit* systemMemo() const { return systemTemplate_; }
    QPlainTextEdit* gameMemo() const { return gameTemplate_; }
    QPlainTextEdit* romMemo() const { return romTemplate_; }
    QListWidget* applyList() const { return romsets_; }
    QRadioButton* selectedOnly() const { return applyToSelected_; }
    QRadioButton* available() const { return available_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    const Settings& settings_;
    JobHost& host_;
    CurrentDatabase& database_;
    QComboBox* formats_;
    QPlainTextEdit* systemTemplate_;
    QPlainTextEdit* gameTemplate_;
    QPlainTextEdit* romTemplate_;
    QRadioButton* applyToAll_;
    QRadioButton* applyToSelected_;
    QListWidget* romsets_;
    QRadioButton* missing_;
    QRadioButton* available_;
};

}  // namespace quorvane
