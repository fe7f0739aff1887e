#pragma once

class QAction;

namespace tarnwell {

// Every command of the panel, one QAction each: the menus hold them, the
// panel's buttons trigger the same objects, and the application (the
// composition root) is the one place that connects them to the model. Those
// that act on the panel stay disabled until it exists.
struct PanelActions {
    // File
    QAction* savePreset = nullptr;
    QAction* savePresetAs = nullptr;
    QAction* importPresets = nullptr;
    QAction* exportPresets = nullptr;
    QAction* sendAll = nullptr;
    QAction* sendPanelOnConnect = nullptr;     // checkable option
    QAction* restorePresetsAtStart = nullptr;  // checkable option
    QAction* resumeAtStart = nullptr;          // checkable option
    QAction* quit = nullptr;
    // Edit
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* revertToSaved = nullptr;
    QAction* compare = nullptr;  // checkable: on while the saved preset sounds
    QAction* renamePreset = nullptr;
    QAction* calibrate = nullptr;
    QAction* dice = nullptr;
    QAction* mutate = nullptr;
    QAction* mutateSwitches = nullptr;  // checkable option: Mutate flips switches too
    QAction* lockParameter = nullptr;   // checkable: the focused parameter's lock
    // View
    QAction* morph = nullptr;  // checkable: shows or hides the Morph panel
    // Controller
    QAction* controllerMappings = nullptr;  // opens the mappings window
    QAction* passThru = nullptr;            // checkable option
    QAction* importMappings = nullptr;
    QAction* exportMappings = nullptr;
    // Help
    QAction* about = nullptr;
};

}  // namespace tarnwell
