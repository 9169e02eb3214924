// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/parameter_dialog.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "plexar/editor/registry.h"
#include "plexar/parameter_text.h"
#include "plexar/editor/ui_thread.h"

namespace plexar::editor {
namespace {

enum StoreColumn : int { kIdText, kName, kValue, kUnits, kId, kStoreColumns };
constexpr const char* kColumnKey = "plexar-column";
constexpr const char* kIdKey = "plexar-id";

// Parameter changes come on whatever thread the plug-in uses (the audio thread for VST 2
// automation); the list is updated on the UI thread, found again by its object.
class ListSink final : public GenericCallback<VSTNOTIFICATION> {
 public:
  explicit ListSink(VST* object) : object_(object) {}
  HRESULT OnParameterChanged(int32_t id, float value) override {
    VST* object = object_;
    PostToUi([object, id, value] {
      if (ParameterDialog* dialog = FindList(object)) dialog->ParameterChanged(id, value);
    });
    return S_OK;
  }

 private:
  VST* object_;
};

}  // namespace

ParameterDialog* ParameterDialog::Open(VST* object, HWND) {
  std::vector<ParameterRecord> params;
  if (!Succeeded(object->GetParameters(&params))) return nullptr;
  auto* dialog = new ParameterDialog(object);
  dialog->Build(true);
  dialog->sink_ = new ListSink(object);
  object->Advise(dialog->sink_);
  dialog->Refill();
  dialog->Show();
  return dialog;
}

void ParameterDialog::Build(bool withUnits) {
  withUnits_ = withUnits;
  BSTR name;
  object_->GetInfo(&name, nullptr);
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), ("Parameters: " + name).c_str());
  gtk_window_set_default_size(GTK_WINDOW(window_), 420, 480);
  store_ = gtk_list_store_new(kStoreColumns, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                              G_TYPE_STRING, G_TYPE_INT);
  tree_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
  g_object_unref(store_);  // the view holds it
  gtk_tree_view_set_grid_lines(GTK_TREE_VIEW(tree_), GTK_TREE_VIEW_GRID_LINES_BOTH);
  const char* titles[] = {"ID", "Name", "Value", "Units"};
  for (int c = 0; c < (withUnits ? 4 : 3); ++c) {
    GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(
        titles[c], gtk_cell_renderer_text_new(), "text", c, nullptr);
    gtk_tree_view_column_set_resizable(column, TRUE);
    if (c == kIdText || c == kName) {
      gtk_tree_view_column_set_clickable(column, TRUE);
      g_object_set_data(G_OBJECT(column), kColumnKey, GINT_TO_POINTER(c == kIdText ? kIdColumn : kNameColumn));
      g_signal_connect(column, "clicked", G_CALLBACK(OnHeader), this);
    }
    gtk_tree_view_append_column(GTK_TREE_VIEW(tree_), column);
  }
  g_signal_connect(tree_, "row-activated", G_CALLBACK(OnRowActivated), this);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scroll), tree_);
  gtk_container_add(GTK_CONTAINER(window_), scroll);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
}

void ParameterDialog::Show() { gtk_widget_show_all(window_); }

void ParameterDialog::Present() { gtk_window_present(GTK_WINDOW(window_)); }

void ParameterDialog::Refill() {
  std::vector<ParameterRecord> params;
  if (Succeeded(object_->GetParameters(&params))) table_.Fill(params, withUnits_);
  for (const ParameterRow& row : std::vector<ParameterRow>(table_.Rows())) Describe(row.id);
  gtk_list_store_clear(store_);
  for (const ParameterRow& row : table_.Rows()) {
    GtkTreeIter it;
    gtk_list_store_append(store_, &it);
    const std::string id = std::to_string(static_cast<uint32_t>(row.id));
    gtk_list_store_set(store_, &it, kIdText, id.c_str(), kName, row.name.c_str(), kValue,
                       row.value.c_str(), kUnits, row.units.c_str(), kId, row.id, -1);
  }
  gtk_tree_view_columns_autosize(GTK_TREE_VIEW(tree_));
}

void ParameterDialog::ClickHeader(int column) {
  table_.ClickHeader(column);
  Refill();
}

void ParameterDialog::Describe(int32_t id) {
  std::string text, unit;
  if (object_->GetParameterDisplay(id, &text, &unit) == S_OK) table_.SetShown(id, text, unit);
}

void ParameterDialog::ShowRow(int row) {
  GtkTreeIter it;
  if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &it, nullptr, row)) return;
  const ParameterRow& shown = table_.Rows()[static_cast<size_t>(row)];
  gtk_list_store_set(store_, &it, kValue, shown.value.c_str(), kUnits, shown.units.c_str(), -1);
}

void ParameterDialog::ParameterChanged(int32_t id, float value) {
  const int row = table_.Find(id);
  if (row < 0 || !table_.SetValue(id, value)) return;
  Describe(id);
  ShowRow(row);
  GtkTreeIter it;
  if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &it, nullptr, row)) return;
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(store_), &it);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(tree_), path, nullptr, FALSE, 0, 0);
  gtk_tree_path_free(path);
}

// The same forms as typed at the prompt: a bare number is normalised, "8Hz" or "On" plain.
bool ParameterDialog::EnterValue(int32_t id, const std::string& text) {
  const int row = table_.Find(id);
  if (row < 0) return false;
  const TypedValue typed = SetTypedValue(*object_, id, text);
  if (!typed.ok) return false;
  table_.SetValue(id, typed.normalized);
  Describe(id);
  ShowRow(row);
  return true;
}

void ParameterDialog::OnHeader(GtkTreeViewColumn* column, gpointer data) {
  static_cast<ParameterDialog*>(data)->ClickHeader(
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(column), kColumnKey)));
}

void ParameterDialog::OnRowActivated(GtkTreeView*, GtkTreePath* path, GtkTreeViewColumn*,
                                     gpointer data) {
  auto* dialog = static_cast<ParameterDialog*>(data);
  GtkTreeIter it;
  if (!gtk_tree_model_get_iter(GTK_TREE_MODEL(dialog->store_), &it, path)) return;
  gint id = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(dialog->store_), &it, kId, &id, -1);
  dialog->AskValue(id);
}

// Not run modally: the answer is taken in the response handler, which finds the list again,
// so closing the list first leaves nothing dangling.
void ParameterDialog::AskValue(int32_t id) {
  const int row = table_.Find(id);
  if (row < 0) return;
  if (valueDialog_) gtk_widget_destroy(valueDialog_);
  const ParameterRow& shown = table_.Rows()[static_cast<size_t>(row)];
  valueDialog_ = gtk_dialog_new_with_buttons("", GTK_WINDOW(window_), GTK_DIALOG_DESTROY_WITH_PARENT,
                                             "OK", GTK_RESPONSE_OK, "Cancel", GTK_RESPONSE_CANCEL,
                                             nullptr);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(valueDialog_));
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), shown.value.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_container_add(GTK_CONTAINER(content), gtk_label_new(shown.name.c_str()));
  gtk_container_add(GTK_CONTAINER(content), entry);
  gtk_dialog_set_default_response(GTK_DIALOG(valueDialog_), GTK_RESPONSE_OK);
  g_object_set_data(G_OBJECT(valueDialog_), kIdKey, GINT_TO_POINTER(id));
  g_object_set_data(G_OBJECT(valueDialog_), "plexar-entry", entry);
  VST* object = object_;
  g_signal_connect(valueDialog_, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer o) {
    ParameterDialog* list = FindList(static_cast<VST*>(o));
    if (response == GTK_RESPONSE_OK && list) {
      auto* entry = GTK_ENTRY(g_object_get_data(G_OBJECT(d), "plexar-entry"));
      list->EnterValue(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(d), kIdKey)), gtk_entry_get_text(entry));
    }
    if (list) list->valueDialog_ = nullptr;
    gtk_widget_destroy(GTK_WIDGET(d));
  }), object);
  gtk_widget_show_all(valueDialog_);
}

gboolean ParameterDialog::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<ParameterDialog*>(data)->Close();
  return TRUE;
}

void ParameterDialog::Close() { gtk_widget_destroy(window_); }

void ParameterDialog::OnDestroy(GtkWidget*, gpointer data) {
  auto* dialog = static_cast<ParameterDialog*>(data);
  RemoveList(dialog->object_);
  dialog->object_->Unadvise(dialog->sink_);
  dialog->sink_->Release();
  if (dialog->valueDialog_) gtk_widget_destroy(dialog->valueDialog_);
  delete dialog;
}

}  // namespace plexar::editor
