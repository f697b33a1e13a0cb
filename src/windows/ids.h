// Window and gadget numbers. Gadget ids are unique across all windows.
#pragma once

namespace tv::id {

constexpr int WndMain = 200;
constexpr int WndList = 201;
constexpr int WndCompress = 202;
constexpr int WndProgress = 203;

// Wnd.Main
constexpr int FramePath = 2000;
constexpr int StringPath = 2001;
constexpr int ButtonBrowse = 2002;
constexpr int ButtonPaste = 2003;
constexpr int FrameQuality = 2004;
constexpr int TextFormat = 2005;
constexpr int TextCompression = 2006;
constexpr int ComboFormat = 2007;
constexpr int ComboCompression = 2009;
constexpr int FrameSize = 2010;
constexpr int ComboSize = 2011;
constexpr int StringRatio = 2012;
constexpr int TextSize = 2013;
constexpr int TextRatio = 2014;
constexpr int ButtonList = 2016;
constexpr int TextVersion = 2017;

// Wnd.List
constexpr int ButtonChangeAfter = 2018;
constexpr int ButtonChangeBefore = 2019;
constexpr int ListImgList = 2020;
constexpr int TextContainsVideo = 2021;
constexpr int ButtonNext = 2022;

// Wnd.Compress
constexpr int TextParams = 2023;
constexpr int CheckboxRenameImage = 2024;
constexpr int StringFileName = 2025;
constexpr int TextCount = 2026;
constexpr int SpinCount = 2027;
constexpr int CheckboxOtherFolder = 2028;
constexpr int StringOtherFolder = 2029;
constexpr int ButtonBrowseOther = 2030;
constexpr int CheckboxDeleteImage = 2031;
constexpr int CheckboxExtensionCase = 2032;
constexpr int ButtonLaunchCompression = 2033;

// Wnd.Progress
constexpr int FrameProgression = 2034;
constexpr int ProgressBarProgression = 2035;
constexpr int CheckboxOpenFolder = 2036;
constexpr int ButtonStopCompression = 2037;
constexpr int TextProgression = 2038;
constexpr int TextCounter = 2039;

}  // namespace tv::id
