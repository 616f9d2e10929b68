// "Global Preferences": edits section "Quorvane" of the settings file.
#pragma once

#include <QWidget>

#include "core/preferences.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace quorvane {

class PreferencesDialog final : public QWidget {
    Q_OBJECT
public:
    PreferencesDialog(Settings& settings, QWidget* parent = nullptr);

    void save();
    void cancel();
    // A folder's line edit by its object name ("tosecFolderEdit").
    QLineEdit* edit(const char* objectName) const;
    QComboBox* defaultDb() const { return defdb_; }
    QCheckBox* md5() const { return md5_; }
    QCheckBox* sha1() const { return sha1_; }
    QCheckBox* fullScan() const { return fullScan_; }
    // The output of new and changed sets; each item's data is the settings word.
    QComboBox* output() const { return output_; }
    // The merge mode of systems without their own; likewise.
    QComboBox* mergeMode() const { return mergeMode_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Settings& settings_;
    QComboBox* defdb_;
    QCheckBox* md5_;
    QCheckBox* sha1_;
    QCheckBox* fullScan_;
    QComboBox* output_;
    QComboBox* mergeMode_;
};

}  // namespace quorvane
