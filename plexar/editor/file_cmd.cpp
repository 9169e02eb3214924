// SPDX-License-Identifier: GPL-3.0-or-later
// FileCmd: the commands of the editor's menu. They run on the UI thread; a call from another
// thread is carried over to it.
#include <gtk/gtk.h>

#include <string>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/editor_access.h"
#include "plexar/editor/frame.h"
#include "plexar/editor/registry.h"
#include "plexar/editor/test_run.h"
#include "plexar/editor/ui_thread.h"
#include "plexar/vst.h"

namespace plexar {
namespace editor {
namespace {

void SelectProgram(VST* object, int32_t index) {
  if (object->SetProgram(index) != S_OK) return;
  if (Frame* frame = FindFrame(object)) {
    frame->SetCheckedProgram(index);
    frame->SyncChecks();
  }
  EditorAccess::StateChanged(object);
}

void SelectUnit(VST* object, int32_t index) {
  if (object->SelectUnit(index) != S_OK) return;
  if (Frame* frame = FindFrame(object)) frame->SyncChecks();
  EditorAccess::StateChanged(object);
}

void ToggleSwitch(VST* object, HRESULT (VST::*get)(int32_t*), HRESULT (VST::*set)(int32_t)) {
  int32_t flag = 0;
  (object->*get)(&flag);
  (object->*set)(flag ? 0 : 1);
  EditorAccess::StateChanged(object);
  if (Frame* frame = FindFrame(object)) frame->SyncChecks();
}

void ShowError(GtkWindow* parent, const std::string& text) {
  GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", text.c_str());
  g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show_all(box);
}

void RunPresetCommand(VST* object, int32_t mode, const std::filesystem::path& file) {
  const HRESULT hr = object->PresetFileCmd(nullptr, mode, nullptr, &file);
  if (hr == S_OK || hr == E_ABORT) return;
  Frame* frame = FindFrame(object);
  ShowError(frame ? GTK_WINDOW(frame->Widget()) : nullptr,
            (mode == 0 ? "Cannot save the state to " : "Cannot load the state from ") + file.string());
}

// The dialog is not run modally: its answer arrives in the response handler, which finds the
// object's frame again, so a frame closed meanwhile leaves nothing dangling.
void AskPresetFile(VST* object, int32_t mode) {
  Frame* frame = FindFrame(object);
  int32_t version = 0;
  object->GetVstVersion(&version);
  const char* pattern = version > 2999 ? "*.vstpreset" : "*.fxb";
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      mode == 0 ? "Save State" : "Load State", frame ? GTK_WINDOW(frame->Widget()) : nullptr,
      mode == 0 ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "Cancel",
      GTK_RESPONSE_CANCEL, mode == 0 ? "Save" : "Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, pattern);
  gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  if (mode == 0) {
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), pattern + 1);
  }
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  g_object_set_data(G_OBJECT(dialog), "plexar-mode", GINT_TO_POINTER(mode));
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer o) {
    auto* object = static_cast<VST*>(o);
    std::filesystem::path file;
    if (response == GTK_RESPONSE_ACCEPT) {
      if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
        file = name;
        g_free(name);
      }
    }
    const int32_t mode = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(d), "plexar-mode"));
    gtk_widget_destroy(GTK_WIDGET(d));
    if (!file.empty() && FindFrame(object)) RunPresetCommand(object, mode, file);
  }), object);
  gtk_widget_show_all(dialog);
}

void ShowAbout(VST* object) {
  BSTR name, vendor;
  object->GetInfo(&name, &vendor);
  int32_t version = 0;
  object->GetVstVersion(&version);
  const std::string url = EditorAccess::ProductUrl(object);
  Frame* frame = FindFrame(object);
  GtkWidget* box = gtk_message_dialog_new(frame ? GTK_WINDOW(frame->Widget()) : nullptr,
                                          GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                          GTK_BUTTONS_OK, "%s", name.c_str());
  gtk_window_set_title(GTK_WINDOW(box), "Tarnwick");
  gchar* link = g_markup_printf_escaped("%s\n<a href=\"%s\">%s</a> VST version %i", vendor.c_str(),
                                        url.c_str(), url.c_str(), static_cast<int>(version));
  gtk_message_dialog_format_secondary_markup(GTK_MESSAGE_DIALOG(box), "%s", link);
  g_free(link);
  g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show_all(box);
}

void PopupList(VST* object, bool units) {
  BstrArray names;
  if (object->GetNames(units ? kUnitNames : kProgramNames, &names) != S_OK || names.empty()) return;
  int32_t current = -1;
  if (units) {
    object->GetSelectedUnit(&current);
  } else {
    object->GetProgram(&current);
  }
  GtkWidget* menu = gtk_menu_new();
  for (size_t i = 0; i < names.size(); ++i) {
    GtkWidget* item = gtk_check_menu_item_new_with_label(names[i].c_str());
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), static_cast<int32_t>(i) == current);
    const uint32_t command = (units ? kUnitFirst : kProgramFirst) + static_cast<uint32_t>(i);
    g_object_set_data(G_OBJECT(item), "plexar-command", GUINT_TO_POINTER(command));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* it, gpointer o) {
      FileCmd(static_cast<VST*>(o), nullptr, 0,
              GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(it), "plexar-command")), 0);
    }), object);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
}

void Execute(VST* object, uint32_t command, intptr_t owner, const std::filesystem::path* file) {
  if (command >= kProgramFirst && command <= kProgramLast) {
    return SelectProgram(object, static_cast<int32_t>(command - kProgramFirst));
  }
  if (command >= kUnitFirst && command <= kUnitLast) {
    return SelectUnit(object, static_cast<int32_t>(command - kUnitFirst));
  }
  switch (command) {
    case kAbout:
    case kHelp: return ShowAbout(object);
    case kProgramMenu: return PopupList(object, false);
    case kUnitMenu: return PopupList(object, true);
    case kParameters: ShowParameterList(object, reinterpret_cast<HWND>(owner), false); return;
    case kBypass: return ToggleSwitch(object, &VST::GetBypass, &VST::SetBypass);
    case kSilence: return ToggleSwitch(object, &VST::GetSilence, &VST::SetSilence);
    case kTopMost:
      if (Frame* frame = FindFrame(object)) frame->SetTopMost(!frame->TopMost());
      return;
    case kPickAutomation:
    case kPickAutomationGui: return EditorAccess::Command(object, static_cast<int32_t>(command));
    case kStateSave:
    case kStateLoad: {
      const int32_t mode = command == kStateSave ? 0 : 1;
      if (file) return RunPresetCommand(object, mode, *file);
      return AskPresetFile(object, mode);
    }
    case kTestRun: return StartTestRun(object);
    default: return;  // the ribbon, the piano roll and the data view are not built
  }
}

}  // namespace
}  // namespace editor

int32_t FileCmd(VST* object, HWND, uint32_t, uintptr_t command, intptr_t owner,
                const std::filesystem::path* file) {
  if (!object) return 0;
  editor::RunOnUi([&] { editor::Execute(object, static_cast<uint32_t>(command), owner, file); });
  return 0;
}

}  // namespace plexar
