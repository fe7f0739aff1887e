#pragma once

#include <cstdint>

class QWidget;

namespace tarnwell {

class Presets;

// Opens the "Save Preset As" dialog over `parent`: a slot (every slot by its
// name, and a new one after the last) and a name. Storing over another slot
// that holds a sound worth keeping asks first ("Replace 'Glass Bells'?").
// Stores the panel without recalling or sending anything. Returns at once;
// the dialog is window-modal and deletes itself.
void askToSavePresetAs(QWidget* parent, Presets& presets);

// Opens a dialog that names the preset at `slot` (an empty name makes it
// unnamed) and writes the presets file. Returns at once.
void askToRenamePreset(QWidget* parent, Presets& presets, std::int64_t slot);

}  // namespace tarnwell
