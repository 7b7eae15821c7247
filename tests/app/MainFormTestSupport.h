// The main window under test: its settings under a key of the test process's own, every question
// answered with No, and the real messages a user's keys and clicks would send.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/XRegistry.h"
#include "document/Layer.h"
#include "document/SheetfoldView.h"

class TTestMainForm : public TSheetfoldForm {
public:
    using TSheetfoldForm::TSheetfoldForm;
    int MessageBox(const std::string& text, UINT, const std::string&) override
    {
        Questions.push_back(text);
        return IDNO;
    }
    void BeginProgress(int maximum, const std::string& caption, bool canAbort) override
    {
        ProgressCaptions.push_back(caption);
        TSheetfoldForm::BeginProgress(maximum, caption, canAbort);
    }
    std::vector<std::string> Questions;
    std::vector<std::string> ProgressCaptions;
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TLayerSelection* Selection() { return Form->GetSelectionList(); }
    TLayerText* AddText(const std::string& text);
    // Shows the window and lets it paint: clicks and focus need a window on the screen.
    void ShowForm();
    // Dispatches whatever is waiting, as the message loop would.
    void Pump();
    // A left click on the page view at a logical point of the page.
    void ClickPage(POINT logical, WPARAM keys = 0);
    // The client point of the page view where a logical point is drawn.
    POINT ViewPoint(POINT logical);
    // A logical point in the middle of an element.
    static POINT Centre(const TLayerElement* element);
    // Types the text into the window as the keyboard would, character by character.
    void Type(HWND window, const std::string& text);
    // A key pressed and released in the window, with the characters it makes.
    void PressKey(HWND window, WORD key);

    std::unique_ptr<TTestMainForm, TObjectFree> Form;
    // The numbered error boxes the window would have shown.
    std::vector<std::string> Errors;
    TErrorMessageHandler FPreviousHandler;
    std::string FKey;
    std::string FSavedKey;
};
