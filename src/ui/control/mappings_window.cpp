#include "ui/control/mappings_window.hpp"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/control/controller_input.hpp"
#include "core/control/mapping_file.hpp"
#include "core/panel/file_chooser.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

constexpr std::array kKinds = {
    SourceKind::controlChange, SourceKind::controlChange14, SourceKind::nrpn, SourceKind::rpn,
    SourceKind::pitchBend,     SourceKind::channelPressure, SourceKind::note};
constexpr std::array kModes = {MappingMode::absolute,
                               MappingMode::relativeTwosComplement,
                               MappingMode::relativeSignedBit,
                               MappingMode::relativeBinaryOffset,
                               MappingMode::toggle,
                               MappingMode::momentary};

QString kindName(SourceKind kind) {
    switch (kind) {
        case SourceKind::controlChange:
            return QObject::tr("CC");
        case SourceKind::controlChange14:
            return QObject::tr("CC 14-bit");
        case SourceKind::nrpn:
            return QObject::tr("NRPN");
        case SourceKind::rpn:
            return QObject::tr("RPN");
        case SourceKind::pitchBend:
            return QObject::tr("Pitch bend");
        case SourceKind::channelPressure:
            return QObject::tr("Channel pressure");
        case SourceKind::note:
            return QObject::tr("Note");
    }
    return {};
}

// "CC 74", "CC 1/33", "Note 60", "Pitch bend": the source without its channel.
QString sourceName(const SourceId& id) {
    switch (id.kind) {
        case SourceKind::controlChange14:
            return QObject::tr("CC %1/%2").arg(id.number).arg(id.number + 32);
        case SourceKind::pitchBend:
        case SourceKind::channelPressure:
            return kindName(id.kind);
        default:
            return kindName(id.kind) + QLatin1Char(' ') + QString::number(id.number);
    }
}

// Whole numbers for the parameters (0-16383), three decimals for the smaller
// ranges of the ball settings and the morph position.
int decimalsFor(const ControlInfo& info) {
    return info.maximum >= 1000.0 ? 0 : 3;
}

QString numberText(double value, const ControlInfo& info) {
    return QString::number(value, 'f', decimalsFor(info));
}

// "1 mapping", "2 mappings".
QString mappingCount(std::size_t count) {
    return count == 1 ? QObject::tr("1 mapping") : QObject::tr("%1 mappings").arg(count);
}

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

}  // namespace

QString modeName(MappingMode mode) {
    switch (mode) {
        case MappingMode::absolute:
            return QObject::tr("Absolute");
        case MappingMode::relativeTwosComplement:
            return QObject::tr("Relative (two's complement)");
        case MappingMode::relativeSignedBit:
            return QObject::tr("Relative (signed bit)");
        case MappingMode::relativeBinaryOffset:
            return QObject::tr("Relative (binary offset)");
        case MappingMode::toggle:
            return QObject::tr("Toggle");
        case MappingMode::momentary:
            return QObject::tr("Momentary");
    }
    return {};
}

QString pickupName(Pickup pickup) {
    return pickup == Pickup::jump ? QObject::tr("Jump") : QObject::tr("Soft takeover");
}

// --- The window -------------------------------------------------------------

MappingsWindow::MappingsWindow(ControllerInput& input, FileChooser& files, QWidget* parent)
    : QDialog(parent), input_(input), files_(files) {
    setObjectName("mappingsWindow");
    setWindowTitle(tr("Controller Mappings"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);

    table_ = new QTableWidget(0, 8, this);
    table_->setObjectName("mappings");
    table_->setAccessibleName(tr("Controller mappings"));
    table_->setHorizontalHeaderLabels({tr("Control"), tr("Source"), tr("Channel"), tr("Mode"),
                                       tr("Min"), tr("Max"), tr("Invert"), tr("Pickup")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(760, 260);
    layout->addWidget(table_);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row) { editRow(row); });

    auto* buttons = new QHBoxLayout;
    const auto add = [&](const QString& text, const QString& tip, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    add(tr("Edit..."), tr("Change the selected mapping's source, mode, range or pickup"),
        [this] { editRow(table_->currentRow()); });
    add(tr("Delete"), tr("Remove the selected mapping"), [this] { deleteSelected(); });
    add(tr("Clear All"), tr("Remove every mapping"), [this] { clearAll(); });
    buttons->addStretch();
    add(tr("Import..."), tr("Replace the mappings with those of a file"), [this] { importFile(); });
    add(tr("Export..."), tr("Write the mappings to a file"), [this] { exportFile(); });
    add(tr("Close"), tr("Close this window"), [this] { close(); });
    layout->addLayout(buttons);

    status_ = new QLabel(this);
    status_->setObjectName("mappingsStatus");
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    connections_.push_back(input_.engine().mappingsChanged.connect([this] { showMappings(); }));
    // Pickup states change with the knobs and the panel; redrawn only while
    // the window shows.
    connections_.push_back(input_.framed.connect([this] {
        if (isVisible()) {
            showMappings();
        }
    }));
    showMappings();
}

MappingsWindow::~MappingsWindow() = default;

QPushButton* MappingsWindow::button(const QString& text) const {
    for (auto* b : findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        if (b->text() == text) {
            return b;
        }
    }
    return nullptr;
}

void MappingsWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    showMappings();
}

void MappingsWindow::showMappings() {
    const ControlEngine& engine = input_.engine();
    const auto& mappings = engine.mappings();
    const int selected = table_->currentRow();
    table_->setRowCount(static_cast<int>(mappings.size()));
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const Mapping& m = mappings[i];
        const ControlInfo& info = controlInfo(m.control);
        const int row = static_cast<int>(i);
        QString pickup = tr("-");
        if (m.mode == MappingMode::absolute && info.type == ControlType::continuous) {
            pickup = pickupName(m.pickup);
            if (engine.pickupState(i) == PickupState::waiting) {
                pickup += tr(" (waiting)");
            }
        }
        const bool ranged = info.type == ControlType::continuous;
        table_->setItem(row, kControl, cell(QString::fromStdString(info.name)));
        table_->setItem(row, kSource, cell(sourceName(m.source)));
        table_->setItem(row, kChannel, cell(QString::number(m.source.channel + 1)));
        table_->setItem(row, kMode, cell(modeName(m.mode)));
        table_->setItem(row, kMinimum, cell(ranged ? numberText(m.minimum, info) : tr("-")));
        table_->setItem(row, kMaximum, cell(ranged ? numberText(m.maximum, info) : tr("-")));
        table_->setItem(row, kInvert, cell(m.inverted ? tr("Yes") : tr("No")));
        table_->setItem(row, kPickup, cell(pickup));
    }
    if (selected >= 0 && selected < table_->rowCount()) {
        table_->selectRow(selected);
    }
}

void MappingsWindow::showStatus(const QString& text, bool isError) {
    status_->setText(text);
    QPalette colours = palette();
    if (isError) {
        colours.setColor(QPalette::WindowText,
                         theme::errorColour(palette().color(QPalette::Window)));
    }
    status_->setPalette(colours);
}

QDialog* MappingsWindow::editRow(int row) {
    const auto& mappings = input_.engine().mappings();
    if (row < 0 || static_cast<std::size_t>(row) >= mappings.size()) {
        return nullptr;
    }
    auto* editor = new MappingEditor(mappings[static_cast<std::size_t>(row)], this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    const Mapping before = mappings[static_cast<std::size_t>(row)];
    connect(editor, &MappingEditor::mappingAccepted, this, [this, before](const Mapping& after) {
        // Found again by value: the list may have changed while the form was open.
        const auto& now = input_.engine().mappings();
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i] == before) {
                input_.engine().replaceMapping(i, after);
                showStatus(tr("Changed the mapping of %1.")
                               .arg(QString::fromStdString(controlInfo(after.control).name)),
                           false);
                return;
            }
        }
        showStatus(tr("The mapping was removed meanwhile; nothing was changed."), true);
    });
    editor->open();
    return editor;
}

void MappingsWindow::deleteSelected() {
    const int row = table_->currentRow();
    if (row >= 0) {
        input_.engine().removeMapping(static_cast<std::size_t>(row));
    }
}

void MappingsWindow::clearAll() {
    if (input_.engine().mappings().empty()) {
        return;
    }
    auto* ask = new QMessageBox(
        QMessageBox::Question, tr("Clear All"),
        tr("Remove all %1 controller mappings?").arg(input_.engine().mappings().size()),
        QMessageBox::Cancel, this);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* remove = ask->addButton(tr("Remove All"), QMessageBox::DestructiveRole);
    connect(remove, &QPushButton::clicked, this, [this] {
        input_.engine().setMappings({});
        showStatus(tr("Every mapping was removed."), false);
    });
    ask->open();
}

void MappingsWindow::importFile() {
    QPointer<MappingsWindow> self(this);
    files_.chooseFileToOpen([self](std::optional<std::filesystem::path> path) {
        if (!self || !path) {
            return;
        }
        const MappingFileReading reading = readMappingFile(*path);
        const QString name = QString::fromStdString(path->filename().string());
        if (!reading.file) {
            self->showStatus(tr("%1 was not imported: %2. Nothing was changed.")
                                 .arg(name, QString::fromStdString(reading.error)),
                             true);
            return;
        }
        self->input_.loadMappingFile(*reading.file);
        QString text = tr("Imported %1 from %2.")
                           .arg(mappingCount(self->input_.engine().mappings().size()), name);
        if (!reading.warning.empty()) {
            text += QLatin1Char(' ') + QString::fromStdString(reading.warning);
        }
        self->showStatus(text, !reading.warning.empty());
    });
}

void MappingsWindow::exportFile() {
    QPointer<MappingsWindow> self(this);
    const MappingFile file = input_.mappingFile();
    files_.chooseFileToSave([self, file](std::optional<std::filesystem::path> path) {
        if (!self || !path) {
            return;
        }
        const std::string error = writeMappingFile(*path, file);
        const QString name = QString::fromStdString(path->filename().string());
        if (!error.empty()) {
            self->showStatus(tr("%1 was not written: %2.").arg(name, QString::fromStdString(error)),
                             true);
            return;
        }
        self->showStatus(tr("Exported %1 to %2.").arg(mappingCount(file.mappings.size()), name),
                         false);
    });
}

// --- The editor ---------------------------------------------------------------

MappingEditor::MappingEditor(const Mapping& mapping, QWidget* parent)
    : QDialog(parent), original_(mapping) {
    setObjectName("mappingEditor");
    const ControlInfo& info = controlInfo(mapping.control);
    setWindowTitle(tr("Mapping of %1").arg(QString::fromStdString(info.name)));
    auto* form = new QFormLayout;

    kind_ = new QComboBox(this);
    for (const SourceKind kind : kKinds) {
        kind_->addItem(kindName(kind), static_cast<int>(kind));
    }
    kind_->setCurrentIndex(kind_->findData(static_cast<int>(mapping.source.kind)));
    form->addRow(tr("Source"), kind_);
    number_ = new QSpinBox(this);
    form->addRow(tr("Number"), number_);
    channel_ = new QSpinBox(this);
    channel_->setRange(1, 16);
    channel_->setValue(mapping.source.channel + 1);
    form->addRow(tr("Channel"), channel_);
    mode_ = new QComboBox(this);
    for (const MappingMode mode : kModes) {
        mode_->addItem(modeName(mode), static_cast<int>(mode));
    }
    mode_->setCurrentIndex(mode_->findData(static_cast<int>(mapping.mode)));
    form->addRow(tr("Mode"), mode_);
    minimum_ = new QDoubleSpinBox(this);
    maximum_ = new QDoubleSpinBox(this);
    for (QDoubleSpinBox* box : {minimum_, maximum_}) {
        box->setDecimals(decimalsFor(info));
        box->setRange(info.minimum, info.maximum);
    }
    minimum_->setValue(mapping.minimum);
    maximum_->setValue(mapping.maximum);
    shownMinimum_ = minimum_->value();
    shownMaximum_ = maximum_->value();
    form->addRow(tr("Min"), minimum_);
    form->addRow(tr("Max"), maximum_);
    invert_ = new QCheckBox(tr("Invert"), this);
    invert_->setChecked(mapping.inverted);
    form->addRow(QString(), invert_);
    pickup_ = new QComboBox(this);
    pickup_->addItem(pickupName(Pickup::softTakeover), static_cast<int>(Pickup::softTakeover));
    pickup_->addItem(pickupName(Pickup::jump), static_cast<int>(Pickup::jump));
    pickup_->setCurrentIndex(pickup_->findData(static_cast<int>(mapping.pickup)));
    pickup_->setToolTip(
        tr("Soft takeover: the knob moves the control only once it has reached the "
           "control's value. Jump: the control follows the knob at once."));
    form->addRow(tr("Pickup"), pickup_);
    steps_ = new QSpinBox(this);
    steps_->setRange(1, kMaxRelativeSteps);
    steps_->setValue(mapping.relativeSteps);
    steps_->setToolTip(tr("Encoder steps from one end of the range to the other"));
    form->addRow(tr("Relative steps"), steps_);
    for (auto* widget : std::initializer_list<QWidget*>{kind_, number_, channel_, mode_, minimum_,
                                                        maximum_, pickup_, steps_}) {
        if (auto* label = qobject_cast<QLabel*>(form->labelForField(widget))) {
            label->setBuddy(widget);
            widget->setAccessibleName(label->text());
        }
    }

    problem_ = new QLabel(this);
    problem_->setObjectName("mappingProblem");
    problem_->setWordWrap(true);
    problem_->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const Mapping m = this->mapping();
        const std::string problem = mappingProblem(m);
        if (!problem.empty()) {
            problem_->setText(
                tr("This mapping cannot be used: %1.").arg(QString::fromStdString(problem)));
            QPalette colours = problem_->palette();
            colours.setColor(QPalette::WindowText,
                             theme::errorColour(palette().color(QPalette::Window)));
            problem_->setPalette(colours);
            return;
        }
        Q_EMIT mappingAccepted(m);
        accept();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);

    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { showRanges(); });
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] { showRanges(); });
    number_->setValue(mapping.source.number);
    showRanges();
    number_->setValue(mapping.source.number);
}

void MappingEditor::showRanges() {
    const auto kind = static_cast<SourceKind>(kind_->currentData().toInt());
    number_->setEnabled(sourceHasNumber(kind));
    number_->setRange(0, sourceNumberMax(kind));
    const auto mode = static_cast<MappingMode>(mode_->currentData().toInt());
    const bool absolute = mode == MappingMode::absolute;
    pickup_->setEnabled(absolute);
    steps_->setEnabled(isRelative(mode) || kind == SourceKind::nrpn || kind == SourceKind::rpn);
}

Mapping MappingEditor::mapping() const {
    Mapping m = original_;
    m.source.kind = static_cast<SourceKind>(kind_->currentData().toInt());
    m.source.number =
        sourceHasNumber(m.source.kind) ? static_cast<std::uint16_t>(number_->value()) : 0;
    m.source.channel = static_cast<std::uint8_t>(channel_->value() - 1);
    m.mode = static_cast<MappingMode>(mode_->currentData().toInt());
    if (minimum_->value() != shownMinimum_) {
        m.minimum = minimum_->value();
    }
    if (maximum_->value() != shownMaximum_) {
        m.maximum = maximum_->value();
    }
    m.inverted = invert_->isChecked();
    m.pickup = static_cast<Pickup>(pickup_->currentData().toInt());
    m.relativeSteps = static_cast<std::uint16_t>(steps_->value());
    return m;
}

}  // namespace tarnwell
