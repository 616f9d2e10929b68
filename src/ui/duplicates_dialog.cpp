#include "ui/duplicates_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvane {

namespace {
// In the order of DupesChoice.
constexpr std::array<const char*, 5> kChoiceNames{"rebuildListedButton", "rebuildSelectedButton",
                                                  "alwaysRebuildAllButton", "neverRebuildButton",
                                                  "rebuildNameMatchesButton"};
}

DuplicatesDialog::DuplicatesDialog(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Duplicate matches"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Warning! The file:"), this));
    filename_ = new QLabel(this);
    filename_->setObjectName(QStringLiteral("fileNameLabel"));
    layout->addWidget(filename_);
    layout->addWidget(new QLabel(QStringLiteral("In zip:"), this));
    zipname_ = new QLabel(this);
    zipname_->setObjectName(QStringLiteral("archiveNameLabel"));
    layout->addWidget(zipname_);
    layout->addWidget(new QLabel(QStringLiteral("Can be identified as:"), this));
    romsList_ = new QListWidget(this);
    romsList_->setObjectName(QStringLiteral("matchesList"));
    romsList_->setSelectionMode(QAbstractItemView::MultiSelection);
    layout->addWidget(romsList_);
    auto* group = new QGroupBox(QStringLiteral("Choose behaviour"), this);
    auto* groupLayout = new QVBoxLayout(group);
    for (size_t i = 0; i < choices_.size(); ++i) {
        choices_[i] = new QRadioButton(QString::fromUtf8(dupesChoiceCaption(static_cast<DupesChoice>(i))), group);
        choices_[i]->setObjectName(QString::fromLatin1(kChoiceNames[i]));
        groupLayout->addWidget(choices_[i]);
    }
    choices_[0]->setChecked(true);
    layout->addWidget(group);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &DuplicatesDialog::answer);
}

void DuplicatesDialog::showDupes(const std::string& fileName, const std::string& archivePath,
                              const std::vector<RomMatch>& matches, std::function<void(DupesAnswer)> answered) {
    answered_ = std::move(answered);
    romsList_->clear();
    filename_->setText(QString::fromStdString(fileName));
    zipname_->setText(QString::fromStdString(archivePath));
    for (const RomMatch& m : matches) romsList_->addItem(QString::fromStdString(m.game));
    show();
    raise();
}

void DuplicatesDialog::answer() {
    DupesAnswer a;
    for (size_t i = 0; i < choices_.size(); ++i)
        if (choices_[i]->isChecked()) a.behaviour = dupesBehaviourFor(static_cast<DupesChoice>(i));
    if (a.behaviour.onlySelected)
        for (int row = 0; row < romsList_->count(); ++row)
            if (romsList_->item(row)->isSelected()) a.selectedGames.push_back(romsList_->item(row)->text().toStdString());
    hide();
    if (auto done = std::move(answered_)) {
        answered_ = nullptr;
        done(std::move(a));
    }
}

QString DuplicatesDialog::fileName() const { return filename_->text(); }
QString DuplicatesDialog::zipName() const { return zipname_->text(); }

}  // namespace quorvane
