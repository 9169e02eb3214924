// SPDX-License-Identifier: GPL-3.0-or-later
// What the editor needs of the effect it shows. UI thread only, apart from what the effect
// itself makes safe.
#pragma once

#include <string>

#include "faust/engine/ui_tree.h"
#include "plexar/vst3/view.h"

namespace faust_engine {

class EditorModel {
 public:
  virtual const UiTree& Interface() const = 0;
  /// A control's normalised value.
  virtual double ControlValue(int param) = 0;
  /// A normalised value as the effect shows it, unit included.
  virtual std::string ControlText(int param, double normalized) = 0;
  virtual double ToNormalized(int param, double plain) = 0;
  virtual double ToPlain(int param, double normalized) = 0;
  /// A change made in the editor: heard at the next block and told to the host.
  virtual void BeginEdit(int param) = 0;
  virtual void Edit(int param, double normalized) = 0;
  virtual void EndEdit(int param) = 0;
  /// A bargraph's value as the running effect last left it.
  virtual double MeterValue(int meter) = 0;
  virtual void Hold() = 0;
  virtual void LetGo() = 0;

 protected:
  ~EditorModel() = default;
};

/// A new editor for the model, holding it until the editor is released.
plexar::vst3::IPlugView* NewEditorView(EditorModel* model);

}  // namespace faust_engine
