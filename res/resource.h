// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDS_DESCRIPTION 1

#define IDI_QUILLMIX 100

#define IDB_LOGO 202

#define IDD_CONFIGURE 203

#define IDC_SAVER_LIST 201
#define IDC_CYCLE_EVERY 203
#define IDC_DELAY 204
#define IDC_SHOW_DESKTOP 205
#define IDC_CYCLE_ONCE 207
#define IDC_SETTINGS 3
#define IDC_PREVIEW 4
#define IDC_SAVER_DETAILS 208
#define IDC_MONITOR_MODE 209
#define IDC_FADE 210

#define IDC_STATIC_TEXT -1
