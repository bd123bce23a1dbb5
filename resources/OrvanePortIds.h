// OrvanePort's ids: every dialog, control, command, menu, string and bitmap id of the
// handheld program, defined here once. Code uses the constants; its templates, menus
// and string table name the same ids, resolved through kIdTable. Controls of
// different dialogs may share a value; a name stands for one control. The dialog
// buttons IDOK and IDCANCEL are the UI foundation's (ui/ResourceIds.h).
#pragma once

#include "resources/IdTable.h"

// clang-format off
#define ORVANE_PORT_IDS(X)                                                              \
  /* Dialog templates */                                                               \
  X(IDD_ABOUTBOX,             100)                                                     \
  X(IDD_ORVANEPORT_FORM,      101)                                                     \
  X(IDD_PREFERENCES,          132)                                                     \
  X(IDD_USER_DEFINED,         133)                                                     \
  X(IDD_EDIT_BINARY,          134)                                                     \
  X(IDD_COMMAND_HISTORY,      135)                                                     \
  X(IDD_COMMAND_RESPONSE,     138)                                                     \
  X(IDD_EXPORT_OPTIONS,       139)                                                     \
  X(IDD_REMOTE_PORTS,         140)                                                     \
  X(IDD_LINE_SETTINGS,        143)                                                     \
  /* The main frame's menu bar, tool bar strip, icon and document string; the        */ \
  /* response list's menu                                                            */ \
  X(IDR_MAINFRAME,            128)                                                     \
  X(IDR_RESPONSE_MENU,        137)                                                     \
  /* Bitmaps: the caption and group rules, the about box's banner and logo */         \
  X(IDB_CAPTION_RULE,         130)                                                     \
  X(IDB_GROUP_RULE,           131)                                                     \
  X(IDB_ABOUT_BANNER,         141)                                                     \
  X(IDB_ABOUT_LOGO,           142)                                                     \
  /* Main command screen (IDD_ORVANEPORT_FORM) */                                      \
  X(IDC_TITLE,                1000)                                                    \
  X(IDC_MODEM,                1001)                                                    \
  X(IDC_PORT,                 1002)                                                    \
  X(IDC_STATUS,               1003)                                                    \
  X(IDC_SEND,                 1005)                                                    \
  X(IDC_RESPONSES,            1006)                                                    \
  X(IDC_OPEN,                 1007)                                                    \
  X(IDC_CLOSE,                1008)                                                    \
  X(IDC_PREFERENCES,          1009) /* the button, and the menu item "Preferences" */  \
  X(IDC_COMMAND,              1013)                                                    \
  X(IDC_USE,                  1025)                                                    \
  X(IDC_BAUD,                 1036)                                                    \
  /* Preferences and User Defined (IDD_PREFERENCES, IDD_USER_DEFINED) */               \
  X(IDC_ADD_USER_DEFINED,     3)                                                       \
  X(IDC_PREFIX,               1004)                                                    \
  X(IDC_SUFFIX,               1005)                                                    \
  X(IDC_DELETE_TOKEN,         1008)                                                    \
  X(IDC_DELETE_PROFILE,       1009)                                                    \
  X(IDC_PROFILE_NAME,         1010)                                                    \
  X(IDC_PREFERENCES_CAPTION,  1011)                                                    \
  X(IDC_PROFILES,             1012)                                                    \
  X(IDC_TOKENS,               1013)                                                    \
  X(IDC_TIMEOUT,              1014)                                                    \
  X(IDC_USER_DEFINED_CAPTION, 1015)                                                    \
  X(IDC_TOKEN,                1023)                                                    \
  X(IDC_ADD_TOKEN,            1024)                                                    \
  /* Edit Binary, command history, response viewer (their captions and list) */      \
  X(IDC_EDIT_BINARY_CAPTION,  1016)                                                    \
  X(IDC_HISTORY_CAPTION,      1017)                                                    \
  X(IDC_HISTORY_LIST,         1018)                                                    \
  X(IDC_RESPONSE_CAPTION,     1026)                                                    \
  /* Export options (IDD_EXPORT_OPTIONS) */                                            \
  X(IDC_EXPORT_CAPTION,       1027)                                                    \
  X(IDC_COMMAND_TEXT,         1028)                                                    \
  X(IDC_COMMAND_BINARY,       1029)                                                    \
  X(IDC_COMMAND_BINARY_TEXT,  1030)                                                    \
  X(IDC_RESPONSE_TEXT,        1031)                                                    \
  X(IDC_RESPONSE_BINARY,      1032)                                                    \
  X(IDC_RESPONSE_BINARY_TEXT, 1033)                                                    \
  X(IDC_BYTES_PER_LINE,       1034)                                                    \
  /* Remote ports (IDD_REMOTE_PORTS) */                                                \
  X(IDC_REMOTE_CAPTION,       1035)                                                    \
  X(IDC_REMOTE_LIST,          1037)                                                    \
  X(IDC_REMOTE_NAME,          1038)                                                    \
  X(IDC_REMOTE_URL,           1039)                                                    \
  X(IDC_REMOTE_ADD,           1040)                                                    \
  X(IDC_REMOTE_DELETE,        1041)                                                    \
  X(IDC_EXPORT_TIME,          1042)                                                    \
  X(IDC_RESPONSE_TIME,        1043) /* the viewer's times: when sent */                \
  X(IDC_RESPONSE_END,         1044) /* the viewer's times: to the end and how */       \
  /* Line settings (IDD_LINE_SETTINGS) */                                              \
  X(IDC_LINE_CAPTION,         1045)                                                    \
  X(IDC_LINE_PORT,            1046)                                                    \
  X(IDC_DATA_BITS,            1047)                                                    \
  X(IDC_PARITY,               1048)                                                    \
  X(IDC_STOP_BITS,            1049)                                                    \
  X(IDC_FLOW,                 1050)                                                    \
  X(IDC_DTR,                  1051)                                                    \
  X(IDC_RTS,                  1052)                                                    \
  X(IDC_SEND_BREAK,           1053)                                                    \
  X(IDC_EXPORT_NOTES,         1054) /* export options: the notes on each row */       \
  /* Commands of the menus, the tool bar and the entry fields' menus */                \
  X(ID_HELP,                  32774)                                                   \
  X(ID_SHOW_RESPONSE,         32784)                                                   \
  X(ID_EXPORT_RESPONSES,      32785)                                                   \
  X(ID_EDIT_AS_BINARY,        32786)                                                   \
  X(ID_COMMAND_HISTORY,       32787)                                                   \
  X(ID_USE_PREFERENCES,       32788)                                                   \
  X(ID_PORT_OPEN,             32789)                                                   \
  X(ID_PORT_CLOSE,            32790)                                                   \
  X(ID_CLEAR_RESPONSES,       32791)                                                   \
  X(ID_REMOTE_PORTS,          32792)                                                   \
  X(ID_LINE_SETTINGS,         32793)                                                   \
  X(ID_FIND,                  32800) /* find and filter in the response list */        \
  X(ID_FIND_NEXT,             32801)                                                   \
  X(ID_FIND_PREVIOUS,         32802)                                                   \
  X(ID_HIDE_UNSOLICITED,      32803)                                                   \
  X(ID_ONLY_TROUBLED,         32804)                                                   \
  X(ID_RUN_SEQUENCE,          32810)                                                   \
  X(ID_STOP_SEQUENCE,         32811)                                                   \
  X(ID_RECENT_SEQUENCE_1,     32812)                                                   \
  X(ID_RECENT_SEQUENCE_2,     32813)                                                   \
  X(ID_RECENT_SEQUENCE_3,     32814)                                                   \
  X(ID_RECENT_SEQUENCE_4,     32815)                                                   \
  X(ID_SESSION_JOURNAL,       32840)                                                   \
  X(ID_JOURNAL_FOLDER,        32841)                                                   \
  X(ID_OPEN_JOURNAL,          32842)                                                   \
  X(ID_FILE_NEW,              57600)                                                   \
  X(ID_FILE_OPEN,             57601)                                                   \
  X(ID_EDIT_COPY,             57634)                                                   \
  X(ID_EDIT_CUT,              57635)                                                   \
  X(ID_EDIT_PASTE,            57637)                                                   \
  X(ID_EDIT_UNDO,             57643)                                                   \
  X(ID_APP_ABOUT,             57664)                                                   \
  X(ID_APP_EXIT,              57665)                                                   \
  /* Strings (a command's prompt string has the command's id) */                      \
  X(IDS_RESPONSE_MENU,        32783)                                                   \
  X(IDS_IDLE_MESSAGE,         57345)                                                   \
  X(IDS_TIP_EXPORT,           61204)                                                   \
  X(IDS_TIP_HELP,             61205)                                                   \
  X(IDS_TIP_PORT_MENU,        61207)                                                   \
  X(IDS_TIP_LINEWRIGHT_MENU,  61208)
// clang-format on

namespace orvane::port_ids {

ORVANE_PORT_IDS(ORVANE_ID_CONSTANT)

inline constexpr res::IdName kIdTable[] = {ORVANE_PORT_IDS(ORVANE_ID_ROW)};

}  // namespace orvane::port_ids
