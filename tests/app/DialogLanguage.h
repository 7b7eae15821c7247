// The language unit as the program starts it, with the built-in English texts, for one test.
#pragma once

#include "app/SfLanguage1.h"

struct TEnglishTexts {
    TEnglishTexts()
    {
        InitSfLanguage();
        TSfLanguage::Instance()->LoadLanguage("English");
    }
    ~TEnglishTexts() { DoneSfLanguage(); }
    TEnglishTexts(const TEnglishTexts&) = delete;
    TEnglishTexts& operator=(const TEnglishTexts&) = delete;
};
