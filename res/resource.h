// Resource numbers of the converter's windows, menu, icon and strings, with the texts that
// belong to them.
#pragma once

// Windows and their parts.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_CONVERTER_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDR_CONTEXT_MENU = 130;

// System-menu command of the About box.
constexpr int IDM_ABOUTBOX = 0x10;

// Standard dialog buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Converter window controls.
constexpr int IDC_PROPERTY_LIST = 1002;
constexpr int IDC_START = 1003;
constexpr int IDC_PAUSE = 1004;
constexpr int IDC_OPEN = 1005;
constexpr int IDC_CONVERT = 1008;
constexpr int IDC_FLASH_PLAYER = 1009;
constexpr int IDC_POSITION_SLIDER = 1010;
constexpr int IDC_FRAME_COUNT = 1011;
constexpr int IDC_FRAME_EDIT = 1012;
constexpr int IDC_FRAME_SPIN = 1013;
constexpr int IDC_SIZE_HALF = 1014;
constexpr int IDC_SIZE_ORIGINAL = 1015;
constexpr int IDC_SIZE_DOUBLE = 1016;
constexpr int IDC_SIZE_TRIPLE = 1017;
constexpr int IDC_SIZE_CUSTOM = 1018;
constexpr int IDC_CUSTOM_WIDTH = 1019;
constexpr int IDC_CUSTOM_HEIGHT = 1020;
constexpr int IDC_FRAME_RATE = 1023;
constexpr int IDC_BUY_NOW = 1027;
constexpr int IDC_HELP_FILE = 1028;
constexpr int IDC_OUTPUT_FOLDER = 1029;
constexpr int IDC_EXIT = 1031;
constexpr int IDC_BROWSE_FOLDER = 1032;
constexpr int IDC_ABOUT = 1035;

// About box controls.
constexpr int IDC_HOMEPAGE_LINK = 1033;
constexpr int IDC_EMAIL = 1034;

// Context-menu commands.
constexpr int ID_EXPORT_SINGLE = 32771;
constexpr int ID_EXPORT_BMP = 32772;
constexpr int ID_EXPORT_TGA = 32773;

// Texts.
inline constexpr const char* kAppDisplayName = "Filmcast Converter 1.0";
inline constexpr const char* kAboutMenuText = "&About Reelcast...";  // string 101
inline constexpr const char* kHelpFileName = "Tarnwick_Filmcast.chm";
inline constexpr const char* kHomePageUrl = "https://www.example.com/filmcast/";
inline constexpr const char* kPurchaseUrl = "https://www.example.com/filmcast/buy/";
inline constexpr const char* kSupportEmail = "support@example.com";
inline constexpr const char* kNoOutputFolderText =
    "Please select the directory for converted files";
