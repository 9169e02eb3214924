// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/editor_probe.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "plexar/editor/frame.h"
#include "plexar/editor/parameter_dialog.h"
#include "plexar/editor/registry.h"
#include "plexar/editor/ui_thread.h"

namespace plexar::editor {

unsigned long FrameChildWindow(VST* object) {
  unsigned long window = 0;
  RunOnUi([&] {
    if (Frame* frame = FindFrame(object)) window = frame->ChildWindow();
  });
  return window;
}

std::string FrameTitle(VST* object) {
  std::string title;
  RunOnUi([&] {
    if (Frame* frame = FindFrame(object)) title = gtk_window_get_title(GTK_WINDOW(frame->Widget()));
  });
  return title;
}

std::vector<std::string> WindowTitles() {
  std::vector<std::string> titles;
  RunOnUi([&] {
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
      if (!gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
      const char* title = gtk_window_get_title(GTK_WINDOW(w->data));
      titles.push_back(title ? title : "");
    }
    g_list_free(windows);
  });
  return titles;
}

bool ActivateMenuItem(VST* object, uint32_t command) {
  bool found = false;
  RunOnUi([&] {
    Frame* frame = FindFrame(object);
    GtkWidget* item = frame ? frame->MenuItem(command) : nullptr;
    if (!item) return;
    found = true;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
  });
  return found;
}

int MenuItemChecked(VST* object, uint32_t command) {
  int checked = -1;
  RunOnUi([&] {
    Frame* frame = FindFrame(object);
    GtkWidget* item = frame ? frame->MenuItem(command) : nullptr;
    if (item && GTK_IS_CHECK_MENU_ITEM(item)) {
      checked = gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) ? 1 : 0;
    }
  });
  return checked;
}

unsigned long ParameterListWindow(VST* object) {
  unsigned long window = 0;
  RunOnUi([&] {
    ParameterDialog* list = FindList(object);
    GdkWindow* shown = list ? gtk_widget_get_window(list->Widget()) : nullptr;
    if (shown) window = gdk_x11_window_get_xid(shown);
  });
  return window;
}

bool DestroyParameterListWidget(VST* object) {
  bool found = false;
  RunOnUi([&] {
    ParameterDialog* list = FindList(object);
    if (!list) return;
    found = true;
    gtk_widget_destroy(list->Widget());
  });
  return found;
}

std::vector<ParameterRow> ShownParameters(VST* object) {
  std::vector<ParameterRow> rows;
  RunOnUi([&] {
    ParameterDialog* list = FindList(object);
    if (!list) return;
    GtkTreeModel* model = list->Model();
    GtkTreeIter it;
    for (bool more = gtk_tree_model_get_iter_first(model, &it); more;
         more = gtk_tree_model_iter_next(model, &it)) {
      gchar *name = nullptr, *value = nullptr, *units = nullptr;
      gint id = 0;
      gtk_tree_model_get(model, &it, 1, &name, 2, &value, 3, &units, 4, &id, -1);
      rows.push_back({id, name ? name : "", value ? value : "", units ? units : ""});
      g_free(name), g_free(value), g_free(units);
    }
  });
  return rows;
}

bool ClickParameterHeader(VST* object, int column) {
  bool found = false;
  RunOnUi([&] {
    ParameterDialog* list = FindList(object);
    if (!list) return;
    GtkTreeViewColumn* header = list->Column(column == kNameColumn ? 1 : 0);
    if (!header) return;
    found = true;
    gtk_tree_view_column_clicked(header);
  });
  return found;
}

bool EnterParameterValue(VST* object, int32_t id, const std::string& text) {
  bool done = false;
  RunOnUi([&] {
    if (ParameterDialog* list = FindList(object)) done = list->EnterValue(id, text);
  });
  return done;
}

}  // namespace plexar::editor
