// Identifiers of the wizard's windows, controls, bitmaps, icon and strings. The
// numbers are the product's own: tests and the event tables find controls by them.
#pragma once

namespace talvoro::res {

// Icon and strings.
inline constexpr int IDR_MAINFRAME = 128;       // the program icon
inline constexpr int IDS_SYSMENU_ABOUT = 101;   // "&About Kestrin1..."
inline constexpr int ID_SYSMENU_ABOUT = 0x0010; // the About command

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_CONNECTION = 102;
inline constexpr int IDD_CONVERT = 135;
inline constexpr int IDD_SELECT_TABLE_MSG = 147;
inline constexpr int IDD_DONE_MSG = 154;

// First page.
inline constexpr int IDC_SOURCE_PATH = 1001;
inline constexpr int IDC_DEST_PATH = 1002;
inline constexpr int IDC_BROWSE_SOURCE = 1003;
inline constexpr int IDC_NEXT = 1005;
inline constexpr int IDC_SERVER_NAME = 1006;
inline constexpr int IDC_LOGIN_NAME = 1007;
inline constexpr int IDC_PASSWORD = 1008;
inline constexpr int IDC_AUTH_WINDOWS = 1022;
inline constexpr int IDC_AUTH_SQL = 1023;
inline constexpr int IDC_BROWSE_DEST = 1036;
inline constexpr int IDC_BUY_CONNECTION = 1037;  // IDC_BUY on the first page
inline constexpr int IDC_HELP_BUTTON = 1038;
// Encryption of the connection and the certificate check (the empty left of the source frame).
inline constexpr int IDC_ENCRYPT = 1039;
inline constexpr int IDC_TRUST_SERVER_CERTIFICATE = 1040;

// Second page.
inline constexpr int IDC_CONVERT = 1009;
inline constexpr int IDC_TABLE_LIST = 1012;
inline constexpr int IDC_SELECTED_LIST = 1013;
inline constexpr int IDC_ADD = 1014;
inline constexpr int IDC_REMOVE = 1015;
inline constexpr int IDC_TABLE_WISE = 1016;
inline constexpr int IDC_WHOLE_DATABASE = 1018;
inline constexpr int IDC_PREV = 1035;
inline constexpr int IDC_BUY = 1042;             // IDC_BUY on the second page
// The status line and progress bar that a conversion adds to the page both carry 1;
// wx needs distinct ids to find them, so they get their own.
inline constexpr int IDC_CONVERT_STATUS = 1100;
inline constexpr int IDC_CONVERT_PROGRESS = 1101;
inline constexpr int IDC_FAILED_TABLES = 1102;   // the completion dialog's list of failures

// Message dialogs.
inline constexpr int IDC_MSG_OK = 1017;

// Bitmaps (normal, pressed).
inline constexpr int IDB_NEXT = 129, IDB_NEXT_DOWN = 130;
inline constexpr int IDB_BROWSE = 131, IDB_BROWSE_DOWN = 132;
inline constexpr int IDB_HELP = 133, IDB_HELP_DOWN = 134;
inline constexpr int IDB_CONVERT = 136, IDB_CONVERT_DOWN = 137;
inline constexpr int IDB_PREV = 138, IDB_PREV_DOWN = 139;
inline constexpr int IDB_ADD = 140, IDB_ADD_DOWN = 141;
inline constexpr int IDB_REMOVE = 142, IDB_REMOVE_DOWN = 143;
inline constexpr int IDB_BUY = 144, IDB_BUY_DOWN = 146;

}  // namespace talvoro::res
