#include "ui/panel/preset_dialogs.hpp"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "core/panel/presets.hpp"
#include "ui/panel/preset_list_model.hpp"

namespace tarnwell {

namespace {

constexpr int kNameLength = 64;

QString storedName(const Presets& presets, std::int64_t slot) {
    const auto& list = presets.presets();
    return slot >= 0 && static_cast<std::uint64_t>(slot) < list.size()
               ? QString::fromStdString(list[static_cast<std::size_t>(slot)].name)
               : QString();
}

QLineEdit* nameField(QWidget* parent, const QString& name) {
    auto* field = new QLineEdit(name, parent);
    field->setObjectName("presetName");
    field->setAccessibleName(QObject::tr("Name"));
    field->setMaxLength(kNameLength);
    field->setPlaceholderText(QObject::tr("unnamed"));
    field->setClearButtonEnabled(true);
    return field;
}

QDialog* dialogOver(QWidget* parent, const QString& title, const QString& objectName) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(objectName);
    dialog->setWindowTitle(title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    return dialog;
}

QDialogButtonBox* buttons(QDialog* dialog, const QString& accept) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    box->addButton(accept, QDialogButtonBox::AcceptRole)->setDefault(true);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

void saveAs(QWidget* parent, Presets& presets, std::int64_t slot, const QString& name) {
    const std::string text = name.toStdString();
    if (!presets.storingWouldReplace(slot, text)) {
        presets.savePresetAs(slot, text);
        return;
    }
    const auto& held = presets.presets()[static_cast<std::size_t>(slot)];
    auto* question = new QMessageBox(QMessageBox::Question, QObject::tr("Save Preset As"),
                                     QObject::tr("Replace '%1'?").arg(presetName(slot, held.name)),
                                     QMessageBox::NoButton, parent);
    question->setObjectName("replacePresetQuestion");
    question->setInformativeText(
        QObject::tr("Slot %1 holds another sound; saving replaces it.").arg(slot + 1));
    question->setTextFormat(Qt::PlainText);
    QPushButton* replace = question->addButton(QObject::tr("Replace"), QMessageBox::AcceptRole);
    question->setDefaultButton(question->addButton(QMessageBox::Cancel));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    QPointer<QMessageBox> asked(question);
    QObject::connect(question, &QMessageBox::finished, question,
                     [asked, replace, &presets, slot, text] {
                         if (asked && asked->clickedButton() == replace) {
                             presets.savePresetAs(slot, text);
                         }
                     });
    question->open();
}

}  // namespace

void askToSavePresetAs(QWidget* parent, Presets& presets) {
    QDialog* dialog = dialogOver(parent, QObject::tr("Save Preset As"), "SavePresetAsDialog");
    auto* form = new QFormLayout(dialog);

    auto* slots = new QComboBox(dialog);
    slots->setObjectName("presetSlot");
    slots->setAccessibleName(QObject::tr("Slot"));
    const auto& list = presets.presets();
    for (std::size_t i = 0; i < list.size(); ++i) {
        slots->addItem(presetRowText(static_cast<std::int64_t>(i), list[i].name));
    }
    slots->addItem(QObject::tr("%1  (new)").arg(list.size() + 1));
    const std::int64_t selected = presets.selectedPresetIndex();
    slots->setCurrentIndex(selected >= 0 && static_cast<std::uint64_t>(selected) < list.size()
                               ? static_cast<int>(selected)
                               : static_cast<int>(list.size()));
    QLineEdit* name = nameField(dialog, storedName(presets, slots->currentIndex()));
    // Choosing a slot offers its name, to keep or to change.
    QObject::connect(slots, &QComboBox::currentIndexChanged, name,
                     [name, &presets](int slot) { name->setText(storedName(presets, slot)); });

    form->addRow(QObject::tr("Slot"), slots);
    form->addRow(QObject::tr("Name"), name);
    form->addRow(buttons(dialog, QObject::tr("Save")));
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
    QPointer<QWidget> over(parent);
    QObject::connect(dialog, &QDialog::accepted, dialog, [over, slots, name, &presets] {
        saveAs(over, presets, slots->currentIndex(), name->text());
    });
    dialog->open();
}

void askToRenamePreset(QWidget* parent, Presets& presets, std::int64_t slot) {
    if (slot < 0 || static_cast<std::uint64_t>(slot) >= presets.presets().size()) {
        return;
    }
    const QString now = presetName(slot, presets.presets()[static_cast<std::size_t>(slot)].name);
    QDialog* dialog = dialogOver(parent, QObject::tr("Rename '%1'").arg(now), "RenamePresetDialog");
    auto* form = new QFormLayout(dialog);
    QLineEdit* name = nameField(dialog, storedName(presets, slot));
    auto* label = new QLabel(QObject::tr("Name"), dialog);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(name);
    form->addRow(label, name);
    form->addRow(buttons(dialog, QObject::tr("Rename")));
    QObject::connect(dialog, &QDialog::accepted, dialog, [name, &presets, slot] {
        presets.renamePreset(slot, name->text().toStdString());
    });
    dialog->open();
}

}  // namespace tarnwell
