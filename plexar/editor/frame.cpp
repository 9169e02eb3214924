// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/frame.h"

#include <gdk/gdkx.h>

#include <string>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/ui_thread.h"
#include "plexar/vst.h"

namespace plexar::editor {
namespace {

// A view that does not say how big it is still gets room to draw.
constexpr int kFallbackWidth = 400;
constexpr int kFallbackHeight = 300;
constexpr const char* kCommandKey = "plexar-command";

}  // namespace

Frame* Frame::Open(PluginView* view, HWND owner) {
  if (!view->PrepareView()) return nullptr;
  auto* frame = new Frame(view);
  BSTR name;
  view->Object()->GetInfo(&name, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  frame->window_ = window;
  gtk_window_set_title(GTK_WINDOW(window), name.c_str());
  // The frame follows the view's size; the user does not resize it.
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  (void)owner;  // another process's window cannot own a GTK window
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* bar = gtk_menu_bar_new();
  frame->BuildMenu(bar);
  frame->area_ = gtk_drawing_area_new();
  g_signal_connect(frame->area_, "draw", G_CALLBACK(OnDraw), nullptr);
  // Exactly the view's size, even where the menu bar is wider.
  gtk_widget_set_halign(frame->area_, GTK_ALIGN_START);
  gtk_widget_set_valign(frame->area_, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), frame->area_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), frame);
  int width = kFallbackWidth, height = kFallbackHeight;
  if (view->ViewSize(&width, &height) && width > 0 && height > 0) {
    gtk_widget_set_size_request(frame->area_, width, height);
  } else {
    gtk_widget_set_size_request(frame->area_, kFallbackWidth, kFallbackHeight);
  }
  gtk_widget_realize(frame->area_);
  GdkWindow* native = gtk_widget_get_window(frame->area_);
  // The plug-in parents its own X11 window to this one, so it must be a real X11 window.
  gdk_window_ensure_native(native);
  frame->child_ = gdk_x11_window_get_xid(native);
  gtk_widget_show_all(window);
  if (!view->AttachView(frame->child_)) {
    gtk_widget_destroy(window);
    delete frame;
    return nullptr;
  }
  frame->SetTopMost(true);
  frame->Layout();
  frame->SyncChecks();
  frame->StartIdle();
  return frame;
}

HWND Frame::Window() const {
  GdkWindow* w = window_ ? gtk_widget_get_window(window_) : nullptr;
  return w ? reinterpret_cast<HWND>(gdk_x11_window_get_xid(w)) : nullptr;
}

void Frame::BuildMenu(GtkWidget* bar) {
  auto popup = [bar](const char* label) {
    GtkWidget* top = gtk_menu_item_new_with_label(label);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    return menu;
  };
  VST* object = view_->Object();
  BstrArray names;
  GtkWidget* programs = popup("Programs");
  if (object->GetNames(kProgramNames, &names) == S_OK) {
    for (size_t i = 0; i < names.size() && kProgramFirst + i <= kProgramLast; ++i) {
      AddItem(programs, names[i].c_str(), kProgramFirst + static_cast<uint32_t>(i), true);
    }
  }
  GtkWidget* units = popup("Units");
  if (object->GetNames(kUnitNames, &names) == S_OK) {
    for (size_t i = 0; i < names.size() && kUnitFirst + i <= kUnitLast; ++i) {
      AddItem(units, names[i].c_str(), kUnitFirst + static_cast<uint32_t>(i), true);
    }
  }
  GtkWidget* state = popup("State");
  AddItem(state, "Save...", kStateSave, false);
  AddItem(state, "Load...", kStateLoad, false);
  GtkWidget* processing = popup("Processing");
  AddItem(processing, "Top Most", kTopMost, true);
  AddItem(processing, "Bypass", kBypass, true);
  AddItem(processing, "Silence", kSilence, true);
  AddItem(processing, "Pick Automation...", kPickAutomation, false);
  AddItem(processing, "Pick Automation from gui...", kPickAutomationGui, false);
  AddItem(processing, "Parameters...", kParameters, false);
  AddItem(popup("Help"), "About...", kAbout, false);
}

GtkWidget* Frame::AddItem(GtkWidget* menu, const char* label, uint32_t command, bool check) {
  GtkWidget* item = check ? gtk_check_menu_item_new_with_label(label) : gtk_menu_item_new_with_label(label);
  g_object_set_data(G_OBJECT(item), kCommandKey, GUINT_TO_POINTER(command));
  g_signal_connect(item, "activate", G_CALLBACK(OnActivate), this);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  items_[command] = item;
  return item;
}

GtkWidget* Frame::MenuItem(uint32_t command) const {
  auto it = items_.find(command);
  return it == items_.end() ? nullptr : it->second;
}

void Frame::SetChecked(uint32_t command, bool on) {
  GtkWidget* item = MenuItem(command);
  if (!item || !GTK_IS_CHECK_MENU_ITEM(item)) return;
  // Setting a check activates the item; `syncing_` keeps that from running the command.
  syncing_ = true;
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), on);
  syncing_ = false;
}

void Frame::SyncChecks() {
  VST* object = view_->Object();
  int32_t current = -1;
  if (object->GetProgram(&current) == S_OK) checkedProgram_ = current;
  for (auto& [command, item] : items_) {
    if (command >= kProgramFirst && command <= kProgramLast) {
      SetChecked(command, static_cast<int>(command - kProgramFirst) == checkedProgram_);
    }
  }
  int32_t unit = -1;
  const bool haveUnit = object->GetSelectedUnit(&unit) == S_OK;
  for (auto& [command, item] : items_) {
    if (command >= kUnitFirst && command <= kUnitLast) {
      SetChecked(command, haveUnit && static_cast<int32_t>(command - kUnitFirst) == unit);
    }
  }
  int32_t flag = 0;
  object->GetBypass(&flag);
  SetChecked(kBypass, flag != 0);
  object->GetSilence(&flag);
  SetChecked(kSilence, flag != 0);
  SetChecked(kTopMost, topMost_);
}

void Frame::SetTopMost(bool on) {
  topMost_ = on;
  gtk_window_set_keep_above(GTK_WINDOW(window_), on);
  SetChecked(kTopMost, on);
}

void Frame::OnActivate(GtkMenuItem* item, gpointer data) {
  auto* frame = static_cast<Frame*>(data);
  if (frame->syncing_) return;
  const auto command = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kCommandKey));
  if (frame->view_->TakeCommand(command)) return;
  FileCmd(frame->Object(), frame->Window(), 0, command, 0);
}

gboolean Frame::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  CloseFrame(static_cast<Frame*>(data)->Object());
  return TRUE;  // the frame destroys its window itself
}

gboolean Frame::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
  // White under the view, as the area shows before (or without) the plug-in drawing.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget),
                  gtk_widget_get_allocated_height(widget));
  cairo_fill(cr);
  return TRUE;
}

void Frame::Present() { gtk_window_present(GTK_WINDOW(window_)); }

void Frame::Layout() {
  // A view may ask for a new size from inside onSize; that request is the one being laid out.
  if (laying_) return;
  laying_ = true;
  int width = 0, height = 0;
  if (!view_->ViewSize(&width, &height) || width < 1 || height < 1) {
    width = kFallbackWidth, height = kFallbackHeight;
  }
  gtk_widget_set_size_request(area_, width, height);
  // Shrinks the non-resizable window to its content again after a smaller view.
  gtk_window_resize(GTK_WINDOW(window_), 1, 1);
  view_->ViewPlaced(width, height);
  laying_ = false;
}

void Frame::StartIdle() {
  const int interval = view_->IdleInterval();
  if (interval > 0) idleTimer_ = g_timeout_add(static_cast<guint>(interval), OnIdle, this);
}

gboolean Frame::OnIdle(gpointer data) {
  // A plug-in drawing on a connection that broke may crash; the frame closes soon after.
  if (ConnectionLost()) return G_SOURCE_CONTINUE;
  static_cast<Frame*>(data)->view_->IdleView();
  return G_SOURCE_CONTINUE;
}

void Frame::Close() {
  if (idleTimer_) g_source_remove(idleTimer_);
  idleTimer_ = 0;
  view_->DetachView();
  gtk_widget_destroy(window_);
  // The window is gone from the server when the caller hears the frame closed.
  gdk_display_sync(gdk_display_get_default());
  delete this;
}

}  // namespace plexar::editor
