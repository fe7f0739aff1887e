#include "ui/app/qt_file_chooser.hpp"

#include <QDir>
#include <QFile>
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
        dialog->setWindowTitle(QObject::tr("Export Presets"));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setWindowTitle(QObject::tr("Import Presets"));
    }
    // The folder of the last choice of this kind; until there is one, the
    // documents folder, where the panel keeps its own presets file.
    if (settings_ != nullptr && !settings_->folder(forSaving).isEmpty()) {
        dialog->setDirectory(settings_->folder(forSaving));
    } else if (const auto documents = documentsFolder()) {
        const QString folder = QFile::decodeName(QByteArray::fromStdString(documents->string()));
        if (QFileInfo(folder).isDir()) {
            dialog->setDirectory(folder);
        }
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
                             std::exchange(*answer, {})(
                                 std::filesystem::path(QFile::encodeName(file).toStdString()));
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
    // Qt reads the home folder's name as text: a name that is not valid in
    // the locale's encoding comes back with look-alike characters, naming a
    // folder that does not exist. Its own bytes are put back.
    QByteArray home = qgetenv("HOME");
    while (home.size() > 1 && home.endsWith('/')) {
        home.chop(1);
    }
    const QString homeText = QDir::cleanPath(QFile::decodeName(home));
    QByteArray bytes = QFile::encodeName(folder);
    if (!home.isEmpty() && folder.startsWith(homeText) &&
        (folder.size() == homeText.size() || folder[homeText.size()] == '/')) {
        bytes = home + QFile::encodeName(folder.mid(homeText.size()));
    }
    return std::filesystem::path(bytes.toStdString());
}

}  // namespace tarnwell
