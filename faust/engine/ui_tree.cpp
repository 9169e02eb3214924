// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/ui_tree.h"

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace faust_engine {

namespace {

class TreeCollector : public UI {
 public:
  UiTree tree;

  TreeCollector() { open_.push_back(&tree.root); }

  void openTabBox(const char* label) override { Open(WidgetKind::TGroup, label); }
  void openHorizontalBox(const char* label) override { Open(WidgetKind::HGroup, label); }
  void openVerticalBox(const char* label) override { Open(WidgetKind::VGroup, label); }
  void closeBox() override {
    if (open_.size() > 1) open_.pop_back();
  }
  void addButton(const char* label, float* zone) override {
    AddControl(WidgetKind::Button, label, zone, 0, 1, 1);
  }
  void addCheckButton(const char* label, float* zone) override {
    AddControl(WidgetKind::CheckBox, label, zone, 0, 1, 1);
  }
  void addVerticalSlider(const char* label, float* zone, float, float min, float max,
                         float step) override {
    AddControl(IsKnob(zone) ? WidgetKind::Knob : WidgetKind::VSlider, label, zone, min, max, step);
  }
  void addHorizontalSlider(const char* label, float* zone, float, float min, float max,
                           float step) override {
    AddControl(IsKnob(zone) ? WidgetKind::Knob : WidgetKind::HSlider, label, zone, min, max, step);
  }
  void addNumEntry(const char* label, float* zone, float, float min, float max,
                   float step) override {
    AddControl(WidgetKind::NumEntry, label, zone, min, max, step);
  }
  void addHorizontalBargraph(const char* label, float* zone, float min, float max) override {
    AddMeter(WidgetKind::HBar, label, zone, min, max);
  }
  void addVerticalBargraph(const char* label, float* zone, float min, float max) override {
    AddMeter(WidgetKind::VBar, label, zone, min, max);
  }
  void addSoundfile(const char*, const char*, Soundfile**) override {}
  // Metadata comes before its widget; a group's comes with no zone.
  void declare(float* zone, const char* key, const char* value) override {
    if (key && value) meta_[zone][key] = value;
  }

 private:
  Widget& Add(WidgetKind kind, const char* label, float* zone) {
    Widget w;
    w.kind = kind;
    w.label = label ? label : "";
    if (w.label == "0x00") w.label.clear();  // Faust's name for a box the code left unnamed
    auto found = meta_.find(zone);
    if (found != meta_.end()) {
      const auto& m = found->second;
      if (auto i = m.find("unit"); i != m.end()) w.unit = i->second;
      if (auto i = m.find("tooltip"); i != m.end()) w.tooltip = i->second;
      if (auto i = m.find("scale"); i != m.end()) w.log = i->second == "log";
      meta_.erase(found);
    }
    open_.back()->children.push_back(std::move(w));
    return open_.back()->children.back();
  }
  void Open(WidgetKind kind, const char* label) {
    // The outermost box is the program's own, whatever its name: the root takes its place.
    if (!opened_) {
      opened_ = true;
      tree.root.kind = kind;
      tree.root.label = label && std::string(label) != "0x00" ? label : "";
      meta_.erase(nullptr);
      return;
    }
    open_.push_back(&Add(kind, label, nullptr));
  }
  bool IsKnob(float* zone) const {
    auto found = meta_.find(zone);
    if (found == meta_.end()) return false;
    auto style = found->second.find("style");
    return style != found->second.end() && style->second == "knob";
  }
  void AddControl(WidgetKind kind, const char* label, float* zone, double min, double max,
                  double step) {
    Widget& w = Add(kind, label, zone);
    if (!(max > min)) max = min;
    w.min = min, w.max = max, w.step = std::max(step, 0.0);
    w.log = w.log && min > 0;
    w.param = controls_++;
    if (w.label.empty()) w.label = "Control " + std::to_string(w.param + 1);
  }
  void AddMeter(WidgetKind kind, const char* label, float* zone, double min, double max) {
    Widget& w = Add(kind, label, zone);
    if (!(max > min)) max = min;
    w.min = min, w.max = max;
    w.log = w.log && min > 0;
    w.meter = static_cast<int>(tree.meterZones.size());
    tree.meterZones.push_back(zone);
  }

  std::vector<Widget*> open_;
  std::map<float*, std::map<std::string, std::string>> meta_;
  int controls_ = 0;
  bool opened_ = false;
};

}  // namespace

double Widget::Position(double plain) const {
  if (!(max > min)) return 0;
  plain = std::clamp(plain, min, max);
  if (log) return std::log(plain / min) / std::log(max / min);
  return (plain - min) / (max - min);
}

double Widget::Plain(double position) const {
  position = std::clamp(position, 0.0, 1.0);
  if (log) return min * std::pow(max / min, position);
  return min + position * (max - min);
}

UiTree CollectUi(dsp& instance) {
  TreeCollector collector;
  instance.buildUserInterface(&collector);
  return std::move(collector.tree);
}

const char* KindName(WidgetKind kind) {
  static const char* const names[] = {"hgroup",  "vgroup", "tgroup",   "hslider",
                                      "vslider", "knob",   "nentry",   "checkbox",
                                      "button",  "hbargraph", "vbargraph"};
  return names[static_cast<int>(kind)];
}

}  // namespace faust_engine
