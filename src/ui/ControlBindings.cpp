#include "ui/ControlBindings.h"

namespace tavelune {

namespace {

using TForm = TControlForm;

const TControlBindings kDesignedBindings{
    .CheckBoxes =
        {
            Bind("CheckSub", &TForm::CheckSub),
            Bind("CheckClear", &TForm::CheckClear),
            Bind("CheckRandomG", &TForm::CheckRandomG),
            Bind("CheckRol", &TForm::CheckRol),
            Bind("CheckCapture", &TForm::CheckCapture),
            Bind("CheckFileName", &TForm::CheckFileName),
            Bind("PreviewRandom", &TForm::PreviewRandom),
            Bind("CheckSkipBlank", &TForm::CheckSkipBlank),
            Bind("CheckRememberShown", &TForm::CheckRememberShown),
        },
    .RadioGroups =
        {
            Bind("RadioGSize", &TForm::RadioGSize),
            Bind("RadioDrawPosition", &TForm::RadioDrawPosition),
        },
    .Edits =
        {
            Bind("EditLogFile", &TForm::EditLogFile),
            Bind("EditWait", &TForm::EditWait),
        },
    .NumberEdits =
        {
            Bind("PreViewSeconds", &TForm::PreViewSeconds),
            Bind("PreViewMin", &TForm::PreViewMin),
            Bind("PreviewMax", &TForm::PreviewMax),
        },
    .ListBoxes =
        {
            Bind("FolderList", &TForm::FolderList),
            Bind("MovieExt", &TForm::MovieExt),
        },
    .ButtonsEnabled =
        {
            Bind("BtnOK", &TForm::BtnOKEnabled),
            Bind("BtnDelete", &TForm::BtnDeleteEnabled),
            Bind("ButtonExtDelete", &TForm::ButtonExtDeleteEnabled),
        },
    .Labels =
        {
            Bind("LabelTitle", &TForm::LabelTitle),
            Bind("LabelVersion", &TForm::LabelVersion),
            Bind("LabelCopyLeft", &TForm::LabelCopyLeft),
        },
    .LinkLabels =
        {
            Bind("HomePageLink", &TForm::HomePageLink),
            Bind("SupportBoardLink", &TForm::SupportBoardLink),
        },
    .Clicks =
        {
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
        },
    .Selections =
        {
            {"FolderList", &TForm::FolderListClick},
            {"MovieExt", &TForm::MovieExtClick},
        },
};

}  // namespace

const TControlFormDesign& ControlFormDesign() {
  static const TControlFormDesign kDesign{kControlFormLayout, kDesignedBindings};
  return kDesign;
}

}  // namespace tavelune
