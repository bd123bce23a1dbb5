// OrvaneInstaller's ids, defined here once. Both programs share one resource library,
// and OrvanePort uses the low numbers itself, so the installer's dialogs, icon and
// bitmap are numbered 1000 + their own resource id (about box 100 -> 1100, main
// dialog 102 -> 1102, icon 128 -> 1128, splash bitmap 129 -> 1129). Its strings keep
// their own numbers, which OrvanePort does not use. The string table is shared too:
// an entry is the program's whose table has its name, so no name of an entry may be
// in both tables (the icon is IDI_INSTALLER, as IDR_MAINFRAME names OrvanePort's
// document string).
#pragma once

#include "resources/IdTable.h"

// clang-format off
#define ORVANE_INSTALLER_IDS(X)                                                         \
  X(IDD_ABOUTBOX,               1100)                                                  \
  X(IDD_ORVANEINSTALLER_DIALOG, 1102)                                                  \
  X(IDI_INSTALLER,              1128) /* the icon */                                   \
  X(IDB_SPLASH,                 1129)                                                  \
  X(IDC_PLACEHOLDER,            1000) /* the main dialog's message label */            \
  /* System menu commands: the about item added to it, and Close */                    \
  X(IDM_ABOUTBOX,               0x0010)                                                \
  X(SC_CLOSE,                   0xF060)                                                \
  /* Strings */                                                                        \
  X(IDS_ABOUTBOX,               101)                                                   \
  X(IDS_NOT_INSTALLED,          103)                                                   \
  X(IDS_NO_HANDHELD,            104)                                                   \
  X(IDS_CANNOT_START,           105)
// clang-format on

namespace orvane::installer_ids {

ORVANE_INSTALLER_IDS(ORVANE_ID_CONSTANT)

inline constexpr res::IdName kIdTable[] = {ORVANE_INSTALLER_IDS(ORVANE_ID_ROW)};

}  // namespace orvane::installer_ids
