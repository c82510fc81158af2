#pragma once

// The designed settings dialog with one check box more, added as a new
// setting's is: a line in the layout (kExtraCheckBox, on the extras page)
// and a line in the bindings, to `state`.

#include "ui/ControlBindings.h"

namespace tavelune::test {

inline constexpr const char* kExtraCheckBox = "CheckExtra";
inline constexpr const char* kExtraCheckBoxCaption = "追加の設定";

inline TControlFormDesign DesignWithExtraCheckBox(TCheckState& state) {
  TControlFormDesign design = ControlFormDesign();
  design.Layout.push_back({kExtraCheckBox, TControlKind::CheckBox, "ExtrasPage", 8, 72, 321, 17,
                           kExtraCheckBoxCaption});
  design.Bindings.CheckBoxes.push_back(
      {kExtraCheckBox, [&state](TControlForm&) -> TCheckState& { return state; }});
  return design;
}

}  // namespace tavelune::test
