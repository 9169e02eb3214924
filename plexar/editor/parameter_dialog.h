// SPDX-License-Identifier: GPL-3.0-or-later
// The generic parameter list of a plug-in: a sortable list that follows the plug-in's
// parameter changes, and a value dialog on a double click. UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "plexar/editor/parameter_table.h"
#include "plexar/vst.h"

namespace plexar::editor {

class ParameterDialog {
 public:
  static ParameterDialog* Open(VST* object, HWND owner);
  /// Destroys the window; its destroy handler unadvises and deletes the dialog.
  void Close();
  void Present();
  /// Reads the parameters fresh and refills the list.
  void Refill();
  void ClickHeader(int column);
  /// A live change from the plug-in.
  void ParameterChanged(int32_t id, float value);
  /// What OK in the value dialog does: the plug-in takes the value as typed at the prompt,
  /// and the cell shows what the plug-in then shows.
  bool EnterValue(int32_t id, const std::string& text);

  const ParameterTable& Table() const { return table_; }
  GtkTreeModel* Model() const { return GTK_TREE_MODEL(store_); }
  GtkTreeViewColumn* Column(int index) const {
    return gtk_tree_view_get_column(GTK_TREE_VIEW(tree_), index);
  }
  GtkWidget* Widget() const { return window_; }

 private:
  explicit ParameterDialog(VST* object) : object_(object) {}
  ~ParameterDialog() = default;
  void Build(bool withUnits);
  void Show();
  void AskValue(int32_t id);
  /// Takes the plug-in's own text and unit for the row of `id` into the table.
  void Describe(int32_t id);
  /// Writes a table row's value and unit into its cells.
  void ShowRow(int row);
  static void OnHeader(GtkTreeViewColumn* column, gpointer dialog);
  static void OnRowActivated(GtkTreeView*, GtkTreePath* path, GtkTreeViewColumn*, gpointer dialog);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer dialog);
  // Runs however the window goes, also when its X window is destroyed by someone else.
  static void OnDestroy(GtkWidget*, gpointer dialog);

  VST* object_;
  VSTNOTIFICATION* sink_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* tree_ = nullptr;
  GtkListStore* store_ = nullptr;
  GtkWidget* valueDialog_ = nullptr;
  ParameterTable table_;
  bool withUnits_ = false;
};

}  // namespace plexar::editor
