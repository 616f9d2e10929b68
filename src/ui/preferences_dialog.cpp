#include "ui/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/archive_output_caption.h"
#include "ui/merge_mode_caption.h"
#include "ui/ui_dialogs.h"

namespace quorvane {

namespace {
struct Field {
    const char* objectName;
    const char* caption;
    const char* designText;
};
// In the order of PreferenceValues' folders.
constexpr Field kFields[] = {
    {"baseFolderEdit", "BaseDir:", "/tmp"},
    {"rebuildSourceEdit", "Rebuild from:", "$BASEDIR$/sourceroms"},
    {"tosecFolderEdit", "Tosec dir:", "$BASEDIR$/romsets/Tosec"},
    {"goodFolderEdit", "Good dir:", "$BASEDIR$/romsets/Good"},
    {"arcadeFolderEdit", "Arcade dir:", "$BASEDIR$/romsets/Arcade"},
    {"arcadeUnemulatedFolderEdit", "Arcade unemulated dir:", "$BASEDIR$/romsets/Arcadeunemu"},
    {"miscFolderEdit", "Miscellanous dir:", "$BASEDIR$/romsets/Misc"},
    {"customFolderEdit", "Custom dir:", "$BASEDIR$/romsets/Custom"},
};
}  // namespace

PreferencesDialog::PreferencesDialog(Settings& settings, QWidget* parent)
    : QWidget(parent, Qt::Tool), settings_(settings) {
    setWindowTitle(QStringLiteral("Global Preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    defdb_ = new QComboBox(this);
    defdb_->setObjectName(QStringLiteral("defaultDbBox"));
    defdb_->setEditable(true);
    for (const char* entry : kDefaultDbEntries) defdb_->addItem(QString::fromUtf8(entry));
    form->addRow(QStringLiteral("Default DB:"), defdb_);
    for (const Field& f : kFields) {
        auto* e = new QLineEdit(QString::fromUtf8(f.designText), this);
        e->setObjectName(QString::fromLatin1(f.objectName));
        e->setMinimumWidth(360);
        form->addRow(QString::fromUtf8(f.caption), e);
    }
    output_ = new QComboBox(this);
    output_->setObjectName(QStringLiteral("outputBox"));
    for (const ArchiveOutput o : kArchiveOutputs)
        output_->addItem(archiveOutputCaption(o), QString::fromLatin1(archiveOutputName(o)));
    form->addRow(QStringLiteral("Output:"), output_);
    mergeMode_ = new QComboBox(this);
    mergeMode_->setObjectName(QStringLiteral("mergeModeBox"));
    for (const MergeMode m : kMergeModes)
        mergeMode_->addItem(mergeModeCaption(m), QString::fromLatin1(mergeModeName(m)));
    form->addRow(QStringLiteral("Merge mode:"), mergeMode_);
    layout->addLayout(form);
    md5_ = new QCheckBox(QStringLiteral("Use MD5 (if present)"), this);
    md5_->setObjectName(QStringLiteral("md5Check"));
    sha1_ = new QCheckBox(QStringLiteral("Use SHA-1 (if present)"), this);
    sha1_->setObjectName(QStringLiteral("sha1Check"));
    md5_->setChecked(true);
    sha1_->setChecked(true);
    layout->addWidget(md5_);
    layout->addWidget(sha1_);
    fullScan_ = new QCheckBox(QStringLiteral("Test every archive on each scan, also those unchanged since the last"), this);
    fullScan_->setObjectName(QStringLiteral("fullScanCheck"));
    layout->addWidget(fullScan_);
    auto* buttons = new QHBoxLayout;
    auto* saveButton = new QPushButton(QStringLiteral("Save"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(saveButton, &QPushButton::clicked, this, &PreferencesDialog::save);
    connect(cancelButton, &QPushButton::clicked, this, &PreferencesDialog::cancel);
}

QLineEdit* PreferencesDialog::edit(const char* objectName) const {
    return findChild<QLineEdit*>(QString::fromLatin1(objectName));
}

void PreferencesDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const PreferenceValues v = preferencesForDisplay(settings_);
    defdb_->setEditText(QString::fromStdString(v.defaultDb));
    const std::string* values[] = {&v.basedir, &v.sourcedir, &v.tosecdir, &v.gooddir, &v.arcadedir,
                                   &v.arcadeunemudir, &v.miscdir, &v.customdir};
    for (size_t i = 0; i < std::size(kFields); ++i)
        edit(kFields[i].objectName)->setText(QString::fromStdString(*values[i]));
    md5_->setChecked(v.useMD5);
    sha1_->setChecked(v.useSHA1);
    fullScan_->setChecked(v.fullScan);
    output_->setCurrentIndex(output_->findData(QString::fromLatin1(archiveOutputName(v.output))));
    mergeMode_->setCurrentIndex(mergeMode_->findData(QString::fromLatin1(mergeModeName(v.mergeMode))));
}

void PreferencesDialog::save() {
    PreferenceValues v;
    v.defaultDb = defdb_->currentText().toStdString();
    std::string* values[] = {&v.basedir, &v.sourcedir, &v.tosecdir, &v.gooddir, &v.arcadedir,
                             &v.arcadeunemudir, &v.miscdir, &v.customdir};
    for (size_t i = 0; i < std::size(kFields); ++i) *values[i] = edit(kFields[i].objectName)->text().toStdString();
    v.useMD5 = md5_->isChecked();
    v.useSHA1 = sha1_->isChecked();
    v.fullScan = fullScan_->isChecked();
    v.output = archiveOutputNamed(output_->currentData().toString().toStdString()).value_or(ArchiveOutput::Zip);
    v.mergeMode = mergeModeNamed(mergeMode_->currentData().toString().toStdString()).value_or(MergeMode::Split);
    if (!savePreferences(v, settings_))
        uiDialogs().information(this, QStringLiteral("Cannot write the settings file ") +
                                          QString::fromStdString(settings_.settingsPath) +
                                          QStringLiteral(": the preferences hold until the program ends."));
    // The open category's folder too: the next job must not work in the old one.
    settings_.categoryDir = chooseCategoryDir(settings_);
    close();
}

void PreferencesDialog::cancel() { close(); }

}  // namespace quorvane
