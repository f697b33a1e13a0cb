// What the four windows must hold right after start-up, written out from the
// window tables by hand (not from the builder), in English, with the stored
// options at their defaults (quality 5, rename/other/remove off, lower case on).
#pragma once

#include <string>
#include <vector>

#include "ui/window_system.h"

namespace e2e {

struct ExpectedGadget {
    int id;
    int window;
    tv::GadgetKind kind;
    tv::Rect rect;
    std::string text;  // caption, initial text or text of the selected row
    int state;         // initial state; 0 where the kind has none
    bool disabled;
    bool hidden;
    std::string toolTip;
};

struct ExpectedWindow {
    int id;
    int width, height;
    std::string title;
    bool visible;
};

// "@DEFAULT@" stands for the pictures folder the run was given.
inline const char* DefaultFolderMark = "@DEFAULT@";

inline std::vector<ExpectedWindow> expectedWindowsEnglish() {
    return {
        {200, 340, 200, "Tarvolin - Settings", true},
        {201, 460, 340, "Tarvolin - Images list", false},
        {202, 280, 220, "Tarvolin - Compression options", false},
        {203, 319, 129, "Tarvolin", false},
    };
}

inline std::vector<ExpectedGadget> expectedGadgetsEnglish() {
    using K = tv::GadgetKind;
    return {
        // Settings
        {2000, 200, K::Frame, {5, 5, 330, 50}, "Images path", 0, false, false, ""},
        {2001, 200, K::String, {10, 25, 230, 22}, DefaultFolderMark, 0, false, false, ""},
        {2002, 200, K::Button, {245, 25, 40, 22}, "...", 0, false, false, ""},
        {2003, 200, K::Button, {290, 25, 40, 22}, "Ctrl+V", 0, false, false, ""},
        {2004, 200, K::Frame, {5, 60, 330, 50}, "Quality and formats", 0, false, false, ""},
        {2005, 200, K::Text, {15, 85, 100, 15}, "Format :", 0, false, false, ""},
        {2007, 200, K::Combo, {75, 82, 60, 20}, "JPG", 0, false, false, ""},
        {2006, 200, K::Text, {190, 85, 130, 15}, "Compression :", 0, false, false, ""},
        {2009, 200, K::Combo, {260, 82, 60, 20}, "5", 5, false, false, ""},
        {2010, 200, K::Frame, {5, 115, 330, 50}, "Resize images", 0, false, false, ""},
        {2013, 200, K::Text, {15, 140, 90, 15}, "Images size", 0, false, false, ""},
        {2011, 200, K::Combo, {110, 137, 55, 20}, "100%: 1/1", 6, false, false, ""},
        {2014, 200, K::Text, {195, 140, 40, 15}, "Ratio:", 0, false, true, ""},
        {2012, 200, K::String, {235, 137, 60, 20}, "100%", 0, false, true,
         "Fraction: 'x/y', Per-cent: '120%' or Ratio: '1.2'"},
        {2016, 200, K::Button, {10, 170, 240, 24}, "List", 0, false, false, ""},
        {2017, 200, K::Text, {255, 180, 77, 20}, "Version: 2.5.1", 0, false, false, ""},
        // Images list
        {2020, 201, K::List, {10, 10, 440, 270}, "", -1, false, false, ""},
        {2021, 201, K::Text, {80, 285, 300, 14}, "Be carefull, this folder also contains videos !!!", 0, false, true,
         ""},
        {2019, 201, K::Button, {10, 310, 100, 24}, "Change before", 0, true, false,
         "Toogle checkbox before current item"},
        {2018, 201, K::Button, {120, 310, 100, 24}, "Change after", 0, true, false,
         "Toogle checkbox after current item"},
        {2022, 201, K::Button, {380, 310, 70, 24}, "Next >>", 0, false, false, ""},
        // Compression options
        {2023, 202, K::Text, {10, 5, 260, 20}, "", 0, false, false, ""},
        {2024, 202, K::CheckBox, {10, 30, 130, 20}, "Rename images", 0, false, false, ""},
        {2025, 202, K::String, {20, 50, 250, 20}, "Nouvel album #", 0, true, false, ""},
        {2026, 202, K::Text, {20, 80, 150, 20}, "Start counting at:", 0, false, false, ""},
        {2027, 202, K::Spin, {180, 77, 90, 20}, "1", 1, true, false, ""},
        {2028, 202, K::CheckBox, {10, 100, 155, 20}, "Copy to another folder", 0, false, false, ""},
        {2029, 202, K::String, {20, 120, 210, 20}, DefaultFolderMark, 0, true, false, ""},
        {2030, 202, K::Button, {240, 120, 30, 20}, "...", 0, true, false, ""},
        {2031, 202, K::CheckBox, {10, 140, 155, 20}, "Remove source image", 0, false, false, ""},
        {2032, 202, K::CheckBox, {10, 160, 145, 20}, "Lower case extension", 1, false, false, ""},
        {2033, 202, K::Button, {70, 190, 140, 24}, "Compress", 0, false, false, ""},
        // Progress
        {2034, 203, K::Frame, {10, 10, 300, 110}, "", 0, false, false, ""},
        {2035, 203, K::ProgressBar, {20, 40, 270, 20}, "", 0, false, false, ""},
        {2038, 203, K::Text, {20, 20, 120, 20}, "Progression :", 0, false, false, ""},
        {2039, 203, K::Text, {200, 20, 90, 20}, "", 0, false, false, ""},
        {2036, 203, K::CheckBox, {20, 65, 280, 20}, "Open destination folder when compression will be done", 0, false,
         false, ""},
        {2037, 203, K::Button, {120, 90, 70, 20}, "Stop", 0, false, false, ""},
    };
}

}  // namespace e2e
