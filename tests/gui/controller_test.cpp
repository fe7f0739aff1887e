// A hardware controller in the window: control menus, learning, marks and tooltips, the source
// picker, the mappings window and what the panel remembers of it all.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QToolTip>
#include <QTreeWidget>

#include "core/control/controller_input.hpp"
#include "core/control/mapping_file.hpp"
#include "gui_harness.hpp"
#include "ui/control/control_menu.hpp"
#include "ui/control/controller_bindings.hpp"
#include "ui/control/controller_input_picker.hpp"
#include "ui/control/mappings_window.hpp"
#include "ui/midi/midi_monitor_dock.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/morph_view.hpp"

using namespace tarnwell;
using namespace std::chrono_literals;
using namespace tarnwell::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The panel with a controller "Knobs" plugged in.
struct Played : WindowHarness {
    explicit Played(Options options = {}) : WindowHarness(prepare(options)) {}

    static Options prepare(Options options) {
        if (!options.service) {
            options.service = std::make_shared<LoopbackMidiService>();
        }
        if (options.service->listSources().empty()) {
            options.service->addSource("Knobs");
        }
        return options;
    }
    ControllerInput& input() { return model().controllerInput(); }
    EndpointRef knobs() { return service->listSources().front().endpoint; }
    // The controller sends `bytes`; the event loop wakes as the notifier would; then `settle`
    // passes (a CC that might be a pair's MSB is applied after a wait).
    void play(const Bytes& bytes, std::chrono::milliseconds settle = 0ms) {
        queue.advance(20ms);
        service->inject(knobs(), bytes, clock.now().count());
        QVERIFY(input().wake().take());
        input().wake().notify();
        input().service();
        queue.runPending();
        if (settle > 0ms) {
            queue.advance(settle);
        }
    }
    ControlMenus& menus() { return *app->controlMenus(); }
    ControllerBindings& bindings() { return *app->controllerBindings(); }
    // Opens `widget`'s control menu as right-click does; its entries by text.
    QMenu* openMenu(QWidget* widget) {
        Q_EMIT widget->customContextMenuRequested(QPoint(2, 2));
        return menus().menu();
    }
    static QAction* entry(QMenu* menu, const QString& text) {
        for (QAction* a : menu ? menu->actions() : QList<QAction*>{}) {
            if (a->text() == text) {
                return a;
            }
        }
        return nullptr;
    }
    // The entries of the open control menu, which this closes; none when no menu is open.
    QStringList closeMenu() {
        QStringList texts;
        if (QMenu* menu = menus().menu()) {
            for (QAction* a : menu->actions()) {
                texts << a->text();
            }
            menu->close();
        }
        return texts;
    }
    void choose(QWidget* widget, const QString& text) { entry(openMenu(widget), text)->trigger(); }
};

QString toolTipOf(QWidget* widget) {
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(widget, &help);
    const QString text = QToolTip::text();
    QToolTip::hideText();
    return text;
}

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyControlThatSendsHasTheMenuByMouseKeyAndAssistiveAction() {
        Played h;
        // 42 sliders and fields, 6 mod buttons, 6 Reset DAC, 21 switch views (three per unit
        // page, three below), calibrate, dice; per ball 7 sliders and Start/Stop; Dice; morph.
        QCOMPARE(h.menus().controls().size(), std::size_t{84 + 6 + 6 + 21 + 2 + 5 * 8 + 1 + 1});
        for (const auto& attached : h.menus().controls()) {
            QVERIFY(attached.widget);
            QCOMPARE(attached.widget->contextMenuPolicy(), Qt::CustomContextMenu);
        }

        QVERIFY(!Played::entry(h.openMenu(h.slider(4)), "Forget Controller")->isEnabled());
        QStringList entries = h.closeMenu();  // nothing bound yet: Forget is disabled
        QVERIFY(entries.contains("Learn Controller") && entries.contains("Reset to Default"));
        h.openMenu(h.view->unitPage(0)->resetDacButton());
        entries = h.closeMenu();  // an action has no default
        QVERIFY(entries.contains("Learn Controller") && !entries.contains("Reset to Default"));
        h.openMenu(h.field(4));
        entries = h.closeMenu();  // a value field keeps its editing entries below
        QVERIFY(entries.contains("Learn Controller") && entries.size() > 4);

        // The context-menu key and Shift+F10 open it on the focused control.
        ModeToggleView* toggle = h.view->findChildren<ModeToggleView*>().front();
        QTest::keyClick(toggle, Qt::Key_Menu);
        QVERIFY(h.closeMenu().contains("Learn Controller"));
        QTest::keyClick(h.slider(0), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(h.closeMenu().contains("Learn Controller"));

        // Assistive technologies: a ShowMenu action beside the usual ones.
        QAccessible::setActive(true);
        for (QWidget* widget : std::initializer_list<QWidget*>{
                 h.slider(2), h.field(7), h.view->unitPage(0)->multiplicationButton(), toggle,
                 h.view->unitPage(0)->resetDacButton()}) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(a && a->actionInterface());
            const QStringList names = a->actionInterface()->actionNames();
            QVERIFY2(
                names.contains(QAccessibleActionInterface::showMenuAction()),
                qPrintable(QString(widget->metaObject()->className()) + ": " + names.join(",")));
            a->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
            QVERIFY(h.closeMenu().contains("Learn Controller"));
        }
        // ...and the buttons still behave as Qt's: name, role, toggle.
        QAbstractButton* mod = h.view->unitPage(0)->multiplicationButton();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(mod);
        QCOMPARE(a->text(QAccessible::Name), QString("multiplication"));
        QCOMPARE(a->role(), QAccessible::CheckBox);
        a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(h.controller().modButtonPressed()[0]);
        QVERIFY(a->state().checked);
        // A field's text is still set as Qt's line edit takes it.
        ValueField* field = h.field(1);
        QAccessibleInterface* f = QAccessible::queryAccessibleInterface(field);
        QVERIFY(f->editableTextInterface());
        f->editableTextInterface()->replaceText(0, f->textInterface()->characterCount(), "77");
        QCOMPARE(field->text(), QString("77"));
        QAccessible::setActive(false);
    }

    void learnFromTheMenuBindsTheNextKnobAndEscapeCancels() {
        Played h;
        QTest::keyClick(h.view->controllerInputPicker(), Qt::Key_Down);  // "None" to "Knobs"
        QCOMPARE(h.service->inputPortName(), std::optional<std::string>("InPort"));

        ParameterSlider* tuning = h.slider(4);
        h.choose(tuning, "Learn Controller");
        QCOMPARE(h.notice(), QString(ControllerBindings::kLearningPrompt));
        QCOMPARE(ControllerBindings::shownMark(tuning), BindingMark::learning);

        h.play({0xB2, 74, 64});  // CC 74 on channel 3
        QCOMPARE(h.input().engine().mappingsOf({ControlKind::parameter, 4}).size(), std::size_t{1});
        QVERIFY(!h.input().engine().learning());
        QVERIFY(h.notice().startsWith("CC 74, channel 3"));
        // The knob was seen at the middle, the panel is at 0: it waits for pickup.
        QCOMPARE(ControllerBindings::shownMark(tuning), BindingMark::waiting);
        QVERIFY(toolTipOf(tuning).contains("Controller: CC 74, channel 3 (waiting"));
        QCOMPARE(ControllerBindings::shownMark(h.field(4)),
                 BindingMark::waiting);  // the value field of the same control
        h.service->clearRecorded();
        h.play({0xB2, 74, 0});  // down to the panel's value: taken over
        QCOMPARE(ControllerBindings::shownMark(tuning), BindingMark::bound);
        QVERIFY(toolTipOf(tuning).endsWith("Controller: CC 74, channel 3"));

        h.service->clearRecorded();
        h.play({0xB2, 74, 127});
        QCOMPARE(h.sent(), (std::vector<Sent>{{5, 16383}}));  // a real edit, sent
        QCOMPARE(h.actions().undo->text(), QString("Undo T = (f) Tuning A"));

        // Learning another control, then Escape: nothing is bound, nothing lost.
        h.choose(h.view->unitPage(0)->resetDacButton(), "Learn Controller");
        QTest::keyClick(h.slider(0), Qt::Key_Escape);
        QVERIFY(!h.input().engine().learning());
        QVERIFY(h.notice().startsWith("Learning cancelled"));
        h.play({0x90, 60, 100});
        QVERIFY(h.input().engine().mappingsOf({ControlKind::resetDac, 0}).empty());

        // The morph slider is learned the same way; a knob then moves the morph.
        auto* morph = qobject_cast<MorphView*>(h.window().morphDock()->widget());
        h.choose(morph->slider(), "Learn Controller");
        h.play({0xB0, 75, 0});
        QCOMPARE(h.input().engine().mappingsOf({ControlKind::morph, 0}).size(), std::size_t{1});
        h.play({0xB0, 75, 127});
        QCOMPARE(h.model().morph().morphPosition(), 1.0);
        QCOMPARE(morph->slider()->value(), morph->slider()->maximum());

        // Forget from the same menu.
        h.choose(tuning, "Forget Controller");
        QCOMPARE(h.input().engine().mappings().size(), std::size_t{1});
        QCOMPARE(ControllerBindings::shownMark(tuning), BindingMark::none);
    }

    void aBoundControlShowsItsMarkWaitsForPickupAndIgnoresTheKnobWhileHeld() {
        Played h;
        h.input().chooseSource("Knobs");
        h.input().engine().addMapping(
            proposeMapping({ControlKind::parameter, 0}, {SourceKind::controlChange, 0, 20}));
        ParameterSlider* odd = h.slider(0);
        QCOMPARE(ControllerBindings::shownMark(odd),
                 BindingMark::waiting);  // soft takeover waits until the knob is seen at the
                                         // panel's value
        h.play({0xB0, 20, 0}, 50ms);
        QCOMPARE(ControllerBindings::shownMark(odd), BindingMark::bound);
        QVERIFY(!toolTipOf(odd).contains("waiting"));

        h.actions().dice->trigger();
        QCOMPARE(ControllerBindings::shownMark(odd), BindingMark::waiting);  // dice moved the panel
        QVERIFY(toolTipOf(odd).contains("waiting"));
        h.play({0xB0, 20, 127}, 50ms);  // swept past the diced value
        QCOMPARE(h.controller().sliderValues()[0], 16383.0);
        QCOMPARE(ControllerBindings::shownMark(odd), BindingMark::bound);

        // The mouse holds the slider: the knob is ignored until it lets go.
        Q_EMIT odd->sliderPressed();
        h.play({0xB0, 20, 10}, 50ms);
        QCOMPARE(h.controller().sliderValues()[0], 16383.0);
        Q_EMIT odd->sliderReleased();
        h.play({0xB0, 20, 126}, 50ms);
        QCOMPARE(h.controller().sliderValues()[0], double(scale7To14(126)));

        // A ball's amplitude on the physics page, with a jump mapping.
        Mapping amp =
            proposeMapping({ControlKind::ballAmpX, 2}, {SourceKind::controlChange, 0, 75});
        amp.pickup = Pickup::jump;
        h.input().engine().addMapping(amp);
        QCOMPARE(ControllerBindings::shownMark(
                     h.app->physicsView()->ballPage(2)->slider(BallSlider::ampX)),
                 BindingMark::bound);
        h.play({0xB0, 75, 127});
        QCOMPARE(h.model().physics().balls()[2].ampX, PhysicsSimulation::kMaxAmplitude);
    }

    void theMappingsWindowEditsDeletesClearsAndRefusesABadFileWhole() {
        Played h;
        ControlEngine& engine = h.input().engine();
        engine.addMapping(
            proposeMapping({ControlKind::parameter, 6}, {SourceKind::controlChange, 1, 7}));
        engine.addMapping(proposeMapping({ControlKind::modeSwitch, 1}, {SourceKind::note, 9, 36}));
        h.actions().controllerMappings->trigger();
        MappingsWindow* window = h.app->mappingsWindow();
        QVERIFY(window && window->isVisible());
        QTableWidget* table = window->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, MappingsWindow::kSource)->text(), QString("CC 7"));
        QCOMPARE(table->item(0, MappingsWindow::kChannel)->text(), QString("2"));
        QCOMPARE(table->item(0, MappingsWindow::kMaximum)->text(), QString("16383"));
        QCOMPARE(table->item(0, MappingsWindow::kPickup)->text(),
                 QString("Soft takeover (waiting)"));
        QCOMPARE(table->item(1, MappingsWindow::kMode)->text(), QString("Toggle"));

        // Edit: a relative encoder over half the range, inverted.
        auto* editor = qobject_cast<MappingEditor*>(window->editRow(0));
        QVERIFY(editor);
        auto* mode = editor->findChildren<QComboBox*>().at(1);
        mode->setCurrentIndex(mode->findText("Relative (two's complement)"));
        editor->findChildren<QDoubleSpinBox*>().at(1)->setValue(8000);
        editor->findChild<QCheckBox*>()->setChecked(true);
        editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        Mapping edited = engine.mappings()[0];
        QCOMPARE(edited.mode, MappingMode::relativeTwosComplement);
        QCOMPARE(edited.maximum, 8000.0);
        QVERIFY(edited.inverted);
        QCOMPARE(table->item(0, MappingsWindow::kMode)->text(),
                 QString("Relative (two's complement)"));

        // A mode that cannot be: the form says why and changes nothing.
        editor = qobject_cast<MappingEditor*>(window->editRow(1));
        mode = editor->findChildren<QComboBox*>().at(1);
        mode->setCurrentIndex(mode->findText("Absolute"));  // a note only presses
        editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(editor->isVisible());
        QVERIFY(editor->problemText()->text().startsWith("This mapping cannot be used"));
        editor->reject();
        QCOMPARE(engine.mappings()[1].mode, MappingMode::toggle);

        // Export, then a bad file is refused whole, then the export comes back.
        window->exportFile();
        QVERIFY(h.chooser.answer(h.folder / "mine.json"));
        QVERIFY(window->statusText()->text().startsWith("Exported 2 mappings"));
        test::writeText(h.folder / "bad.json",
                        R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[)"
                        R"({"control":"param/1","source":"cc","channel":17,"number":1}]})");
        window->importFile();
        QVERIFY(h.chooser.answer(h.folder / "bad.json"));
        QVERIFY(window->statusText()->text().contains("was not imported"));
        QVERIFY(window->statusText()->text().contains("channel"));
        QCOMPARE(engine.mappings().size(), std::size_t{2});
        QCOMPARE(engine.mappings()[0], edited);

        window->table()->selectRow(0);
        window->deleteSelected();
        QCOMPARE(table->rowCount(), 1);
        window->clearAll();
        auto* ask = window->findChild<QMessageBox*>();
        QVERIFY(ask);
        for (QAbstractButton* b : ask->buttons()) {
            if (b->text() == "Remove All") {
                b->click();
            }
        }
        QVERIFY(engine.mappings().empty());
        window->importFile();
        QVERIFY(h.chooser.answer(h.folder / "mine.json"));
        QCOMPARE(engine.mappings().size(), std::size_t{2});
        QCOMPARE(engine.mappings()[0], edited);
    }

    void sourceMappingsAndThruAreRememberedAcrossRuns() {
        test::TempDir folder;
        {
            Played h({.folder = &folder});
            QVERIFY(!h.service->inputPortName());  // no input port until a source is chosen
            auto* picker = h.view->controllerInputPicker();
            QCOMPARE(picker->itemText(0), QString("None"));
            QCOMPARE(picker->itemText(1), QString("Knobs"));
            picker->setCurrentIndex(1);
            h.input().engine().addMapping(
                proposeMapping({ControlKind::ballRun, 0}, {SourceKind::note, 0, 48}));
            h.actions().passThru->setChecked(true);
            QVERIFY(h.input().thru());
            h.app->shutDown();
        }
        QVERIFY(std::filesystem::exists(folder / "controller-mappings.json"));
        {
            // The controller is plugged in only after the panel starts.
            auto service = std::make_shared<LoopbackMidiService>();
            service->addSource("Other");
            Played h({.service = service, .folder = &folder});
            QCOMPARE(h.input().engine().mappings().size(), std::size_t{1});
            QVERIFY(h.actions().passThru->isChecked());
            QVERIFY(h.input().thru());
            QCOMPARE(h.view->controllerInputPicker()->currentText(),
                     QString("Knobs (unavailable)"));
            const EndpointRef knobs = service->addSource("Knobs");
            service->notifySetupChanged();
            h.queue.runPending();
            QCOMPARE(service->selectedSource(), knobs);
            QCOMPARE(h.view->controllerInputPicker()->currentText(), QString("Knobs"));
            h.queue.advance(20ms);
            service->inject(knobs, Bytes{0x90, 48, 100}, h.clock.now().count());
            h.input().service();
            QVERIFY(h.model().physics().balls()[0].isRunning);
            h.view->controllerInputPicker()->setCurrentIndex(0);  // None
            h.app->shutDown();
        }
        Played h({.folder = &folder});
        QCOMPARE(h.view->controllerInputPicker()->currentText(), QString("None"));
        QVERIFY(!h.service->inputPortName());  // None chosen last: no port opens

        // A damaged mappings file is reported and leaves no mapping.
        test::writeText(folder / "controller-mappings.json", "{not json");
        Played damaged({.folder = &folder});
        QVERIFY(damaged.notice().contains("controller mappings were not restored"));
        QVERIFY(damaged.input().engine().mappings().empty());
    }

    void theMonitorShowsTheControllerAsOriginAndLostInput() {
        Played h;
        h.window().midiMonitor()->show();
        h.input().chooseSource("Knobs");
        Mapping m = proposeMapping({ControlKind::parameter, 1}, {SourceKind::controlChange, 0, 74});
        m.pickup = Pickup::jump;
        h.input().engine().addMapping(m);
        h.play({0xB0, 74, 100});
        h.view->unitPage(0)->resetDacButton()->click();
        h.window().midiMonitor()->refresh();
        QTreeWidget* lines = h.window().midiMonitor()->lines();
        QCOMPARE(lines->topLevelItemCount(), 2);
        QCOMPARE(lines->topLevelItem(0)->text(6), QString("controller"));
        QCOMPARE(lines->topLevelItem(1)->text(6), QString("hand"));

        QVERIFY(h.window().midiMonitor()->inputLossText()->isHidden());
        h.service->setInputCapacity(4);  // no effect: the port exists already
        for (int i = 0; i < 5000; ++i) {
            h.service->inject(h.knobs(), Bytes{0xB0, 74, 1}, h.clock.now().count());
        }
        h.input().service();
        QVERIFY(!h.window().midiMonitor()->inputLossText()->isHidden());
        QVERIFY(h.window().midiMonitor()->inputLossText()->text().contains("lost"));
    }
};

QTEST_MAIN(ControllerTest)
#include "controller_test.moc"
