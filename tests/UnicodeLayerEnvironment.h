// The Unicode layer started in the program's order for test programs whose cases use its controls.
// The message hook stays out: a test that needs it installs it itself.
#pragma once

#include <gtest/gtest.h>

#include "unicode/UniClasses.h"
#include "unicode/UniControls.h"
#include "unicode/UniForms.h"
#include "unicode/UniMenus.h"
#include "unicode/UniSystem.h"

class TUnicodeLayerEnvironment : public testing::Environment {
public:
    // With forms, the layer's application object and forms start too (the layer's own tests).
    explicit TUnicodeLayerEnvironment(bool withForms) : FWithForms(withForms) {}

    void SetUp() override
    {
        InitUniSystem();
        InitUniClasses();
        InitUniControls();
        InitUniMenus();
        if (!FWithForms)
            return;
        InitUniForms();
        UninstallMessageHook();
    }
    void TearDown() override
    {
        if (FWithForms)
            DoneUniForms();
        DoneUniMenus();
        DoneUniControls();
        DoneUniClasses();
        DoneUniSystem();
    }

private:
    bool FWithForms;
};
