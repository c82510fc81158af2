#pragma once

// Which control of the settings dialog shows which part of TControlForm's
// state: a line a control, by its name in the layout. The front ends walk
// these lists in Collect (what the user changed, into the form, before a
// handler runs) and Render (the form's state, onto the controls, after
// it), with one routine per kind of control; a new check box is a line in
// the layout and a line here. What is shown in a way of its own (the page,
// the hand-over list, the colour panel) the front ends do by name. UI
// thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ControlForm.h"

namespace tavelune {

template <typename T>
struct TBinding {
  std::string_view Name;                   // the control in the layout
  std::function<T&(TControlForm&)> State;  // the part of the form it shows
};

// A handler of the form that an event of the control runs.
struct TEventBinding {
  std::string_view Name;  // the control in the layout
  void (TControlForm::*Handler)();
};

// The binding of a control to a member of the form.
template <typename T>
TBinding<T> Bind(std::string_view name, T TControlForm::*member) {
  return {name, [member](TControlForm& form) -> T& { return form.*member; }};
}

struct TControlBindings {
  // Checked collected; checked and enabled shown.
  std::vector<TBinding<TCheckState>> CheckBoxes;
  // The checked item (0 the first, -1 none), collected and shown.
  std::vector<TBinding<std::int32_t>> RadioGroups;
  // The text, collected and shown.
  std::vector<TBinding<std::string>> Edits;
  // The number collected; the number and enabled shown.
  std::vector<TBinding<TNumberEditState>> NumberEdits;
  // The current entry and the selection collected; the entries, the
  // current entry and the hint shown.
  std::vector<TBinding<TListBoxState>> ListBoxes;
  // Whether the button can be pressed, shown.
  std::vector<TBinding<bool>> ButtonsEnabled;
  // The text, shown; the label is sized to it.
  std::vector<TBinding<std::string>> Labels;
  // The address a link label shows, and opens when clicked.
  std::vector<TBinding<std::string>> LinkLabels;

  // What a click runs: on a button, a check box, the colour panel or a
  // link label.
  std::vector<TEventBinding> Clicks;
  // What a list box runs when its current entry changes, or an entry is
  // clicked or double-clicked.
  std::vector<TEventBinding> Selections;
};

// The dialog as designed: its controls and what they show.
struct TControlFormDesign {
  std::vector<TControlLayout> Layout;
  TControlBindings Bindings;
};

const TControlFormDesign& ControlFormDesign();

}  // namespace tavelune
