#include "ui/ControlBindings.h"

namespace tavelune {

namespace {

using TForm = TControlForm;

TControlBindings DesignedBindings() {
  TControlBindings b;
  b.CheckBoxes = {
      Bind("CheckSub", &TForm::CheckSub),
      Bind("CheckClear", &TForm::CheckClear),
      Bind("CheckRandomG", &TForm::CheckRandomG),
      Bind("CheckRol", &TForm::CheckRol),
      Bind("CheckCapture", &TForm::CheckCapture),
      Bind("CheckFileName", &TForm::CheckFileName),
      Bind("PreviewRandom", &TForm::PreviewRandom),
      Bind("CheckSkipBlank", &TForm::CheckSkipBlank),
      Bind("CheckRememberShown", &TForm::CheckRememberShown),
  };
  b.RadioGroups = {
      Bind("RadioGSize", &TForm::RadioGSize),
      Bind("RadioDrawPosition", &TForm::RadioDrawPosition),
  };
  b.Edits = {
      Bind("EditLogFile", &TForm::EditLogFile),
      Bind("EditWait", &TForm::EditWait),
  };
  b.NumberEdits = {
      Bind("PreViewSeconds", &TForm::PreViewSeconds),
      Bind("PreViewMin", &TForm::PreViewMin),
      Bind("PreviewMax", &TForm::PreviewMax),
  };
  b.ListBoxes = {
      Bind("FolderList", &TForm::FolderList),
      Bind("MovieExt", &TForm::MovieExt),
  };
  b.ButtonsEnabled = {
      Bind("BtnOK", &TForm::BtnOKEnabled),
      Bind("BtnDelete", &TForm::BtnDeleteEnabled),
      Bind("ButtonExtDelete", &TForm::ButtonExtDeleteEnabled),
  };
  b.Labels = {
      Bind("LabelTitle", &TForm::LabelTitle),
      Bind("LabelVersion", &TForm::LabelVersion),
      Bind("LabelCopyLeft", &TForm::LabelCopyLeft),
  };
  b.LinkLabels = {
      Bind("HomePageLink", &TForm::HomePageLink),
      Bind("SupportBoardLink", &TForm::SupportBoardLink),
  };
  b.Clicks = {
      {"BtnOK", &TForm::BtnOKClick},
      {"BtnCancel", &TForm::BtnCancelClick},
      {"BtnAdd", &TForm::BtnAddClick},
      {"BtnDelete", &TForm::BtnDeleteClick},
      {"LogFileButton", &TForm::LogFileButtonClick},
      {"ButtonExtAdd", &TForm::ButtonExtAddClick},
      {"ButtonExtDelete", &TForm::ButtonExtDeleteClick},
      {"PreviewRandom", &TForm::PreviewRandomClick},
      {"PanelColor", &TForm::PanelColorClick},
      {"HomePageLink", &TForm::HomePageLinkClick},
      {"SupportBoardLink", &TForm::SupportBoardLinkClick},
  };
  b.Selections = {
      {"FolderList", &TForm::FolderListClick},
      {"MovieExt", &TForm::MovieExtClick},
  };
  return b;
}

}  // namespace

const TControlFormDesign& ControlFormDesign() {
  static const TControlFormDesign kDesign{kControlFormLayout, DesignedBindings()};
  return kDesign;
}

}  // namespace tavelune
