#include "ui/app/qt_file_chooser.hpp"

#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include "ui/app/settings.hpp"

namespace tarnwell {

void QtFileChooser::chooseFileToOpen(Choice done) {
    show(false, std::move(done));
}

void QtFileChooser::chooseFileToSave(Choice done) {
    show(true, std::move(done));
}

void QtFileChooser::show(bool forSaving, Choice done) {
    auto* dialog = new QFileDialog(parent_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setNameFilter(QObject::tr("JSON files (*.json)"));
    if (forSaving) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setDefaultSuffix("json");
        dialog->setWindowTitle(saveTitle_);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setWindowTitle(openTitle_);
    }
    if (settings_ != nullptr && !settings_->folder(forSaving).isEmpty()) {
        dialog->setDirectory(settings_->folder(forSaving));
    }
    // Exactly one answer per dialog: the chosen file, or nothing on cancel.
    auto answer = std::make_shared<Choice>(std::move(done));
    Settings* settings = settings_;
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [answer, settings, forSaving](const QString& file) {
                         if (settings != nullptr) {
                             settings->setFolder(forSaving, QFileInfo(file).absolutePath());
                         }
                         if (*answer) {
                             std::exchange(*answer,
                                           {})(std::filesystem::path(file.toStdU16String()));
                         }
                     });
    QObject::connect(dialog, &QFileDialog::rejected, dialog, [answer] {
        if (*answer) {
            std::exchange(*answer, {})(std::nullopt);
        }
    });
    dialog->open();
}

std::optional<std::filesystem::path> documentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(folder.toStdU16String());
}

}  // namespace tarnwell
