// The converter window (102), the About box (100) and the context menu (130) as data:
// control ids, kinds, captions and positions in dialog units, in creation (tab) order, and
// the conversion of dialog units to pixels.
#pragma once

#include <array>
#include <cmath>

#include "res/resource.h"

enum class ControlKind {
    PushButton,
    DefPushButton,
    Trackbar,
    Edit,
    UpDown,
    ListView,
    FlashPlayer,
    Static,
    RightStatic,
    RadioButton,
    GroupBox,
    Icon,
    Link,
    NotifyStatic,
};

struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    int id;  // -1 for controls without an id of their own
    ControlKind kind;
    const char* caption;
    DialogRect rect;  // dialog units
};

struct DialogTemplate {
    const char* caption;
    DialogRect size;  // x and y unused
};

// One horizontal dialog unit is 1.5 pixels and one vertical unit 1.625 pixels; each position
// and size is rounded to the nearest pixel on its own: the player's 325 x 256 units become
// 488 x 416 pixels.
constexpr int HorizontalUnitsToPixels(int units) {
    return static_cast<int>(units * 1.5 + (units >= 0 ? 0.5 : -0.5));
}
constexpr int VerticalUnitsToPixels(int units) {
    return static_cast<int>(units * 1.625 + (units >= 0 ? 0.5 : -0.5));
}
constexpr DialogRect DialogUnitsToPixels(const DialogRect& r) {
    return {HorizontalUnitsToPixels(r.x), VerticalUnitsToPixels(r.y),
            HorizontalUnitsToPixels(r.width), VerticalUnitsToPixels(r.height)};
}

inline constexpr DialogTemplate kConverterDialog{"FILMCAST CONVERTER 1.0", {0, 0, 508, 337}};

inline constexpr std::array<ControlTemplate, 29> kConverterControls{{
    {IDC_OPEN, ControlKind::DefPushButton, "Open", {16, 308, 50, 14}},
    {IDC_START, ControlKind::PushButton, "Start", {73, 308, 50, 14}},
    {IDC_PAUSE, ControlKind::PushButton, "Pause", {130, 308, 50, 14}},
    {IDC_CONVERT, ControlKind::PushButton, "Convert Filmcast", {187, 308, 71, 14}},
    {IDC_POSITION_SLIDER, ControlKind::Trackbar, "", {9, 285, 356, 15}},
    {IDC_FRAME_EDIT, ControlKind::Edit, "", {370, 285, 33, 14}},
    {IDC_FRAME_SPIN, ControlKind::UpDown, "", {413, 285, 11, 14}},
    {IDC_PROPERTY_LIST, ControlKind::ListView, "", {350, 7, 151, 99}},
    {IDC_FLASH_PLAYER, ControlKind::FlashPlayer, "", {7, 7, 325, 256}},
    {IDC_FRAME_COUNT, ControlKind::RightStatic, "Static", {428, 288, 19, 8}},
    {IDC_SIZE_HALF, ControlKind::RadioButton, "1/2 Original Size", {356, 158, 102, 10}},
    {-1, ControlKind::GroupBox, "Export Config", {348, 108, 153, 172}},
    {IDC_SIZE_ORIGINAL, ControlKind::RadioButton, "Original Size", {356, 177, 108, 10}},
    {IDC_SIZE_DOUBLE, ControlKind::RadioButton, "2x Original Size", {356, 196, 106, 10}},
    {IDC_SIZE_TRIPLE, ControlKind::RadioButton, "3x Original Size", {356, 215, 103, 10}},
    {IDC_SIZE_CUSTOM, ControlKind::RadioButton, "Custom", {356, 234, 40, 10}},
    {IDC_CUSTOM_WIDTH, ControlKind::Edit, "", {398, 234, 30, 14}},
    {IDC_CUSTOM_HEIGHT, ControlKind::Edit, "", {443, 234, 29, 14}},
    {-1, ControlKind::Static, "x", {435, 236, 8, 8}},
    {IDC_FRAME_RATE, ControlKind::Edit, "", {407, 254, 33, 14}},
    {-1, ControlKind::Static, "Frame Rate:", {356, 255, 47, 11}},
    {-1, ControlKind::Static, "FPS", {444, 258, 15, 8}},
    {IDC_OUTPUT_FOLDER, ControlKind::Edit, "", {355, 138, 117, 14}},
    {IDC_ABOUT, ControlKind::PushButton, "About Us", {265, 308, 50, 14}},
    {IDC_BROWSE_FOLDER, ControlKind::PushButton, "...", {477, 138, 18, 14}},
    {-1, ControlKind::Static, "Captured And Converted Files Directory", {352, 124, 139, 8}},
    {IDC_BUY_NOW, ControlKind::PushButton, "Buy Now", {322, 308, 50, 14}},
    {IDC_HELP_FILE, ControlKind::PushButton, "Help", {379, 308, 50, 14}},
    {IDC_EXIT, ControlKind::PushButton, "Exit", {436, 308, 50, 14}},
}};

// The status line below the buttons, across their row (dialog units); not part of template 102,
// whose controls and tab order stay as they are.
inline constexpr DialogRect kStatusLineRect{16, 324, 470, 12};

inline constexpr DialogTemplate kAboutDialog{"Filmcast Converter 1.0 ", {0, 0, 269, 89}};

inline constexpr std::array<ControlTemplate, 7> kAboutControls{{
    {-1, ControlKind::Icon, "", {20, 11, 20, 20}},
    {-1, ControlKind::Static, "Filmcast Converter  Version 1.0", {61, 10, 169, 8}},
    {-1, ControlKind::Static, "Copyright (C) 2009 Tarnwick", {61, 26, 119, 8}},
    {IDOK, ControlKind::DefPushButton, "OK", {196, 55, 50, 16}},
    {-1, ControlKind::Static, "HomePage:", {27, 45, 43, 11}},
    {IDC_HOMEPAGE_LINK, ControlKind::Link, kHomePageUrl, {71, 45, 111, 8}},
    {IDC_EMAIL, ControlKind::NotifyStatic, "Email:     support@example.com", {27, 57, 163, 15}},
}};

struct MenuItemTemplate {
    int command;
    const char* text;
};

// Menu 130: one popup; "ExportSingle" starts a new column on the menu bar in the original
// layout, which a popup menu here does not draw.
inline constexpr std::array<MenuItemTemplate, 3> kContextMenu{{
    {ID_EXPORT_SINGLE, "ExportSingle"},
    {ID_EXPORT_BMP, "ExportBmp"},
    {ID_EXPORT_TGA, "ExportTga"},
}};
