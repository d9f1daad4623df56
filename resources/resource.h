// Resource identifiers of the program file.
#pragma once

#define IDD_QUORVELDOWNLOAD_DIALOG 102
#define IDD_MSG_BOX 129
#define IDR_TEXT_TABLE 195
#define IDR_MAINFRAME 128

// Controls of the main window; the command buttons send their id as a command.
#define IDC_EXIT 50
#define IDC_BANNER 51
#define IDC_CHECK_SERVER 920
#define IDC_START_INSTALLATION 921
#define IDC_LIST_ITEMS 1001
#define IDC_LIST_HEADER 1002
#define IDC_WARNING_ENGLISH 1003
#define IDC_WARNING_KOREAN 1004

#define IDB_EXIT 130
#define IDB_SCROLL_DOWN 131
#define IDB_SCROLL_THUMB 132
#define IDB_SCROLL_UP 133
#define IDB_MSGBOX_BACKGROUND 135
#define IDB_MSGBOX_ICON_FIRST 136
#define IDB_MSGBOX_BUTTON 150
#define IDB_BACKGROUND 151
#define IDB_COMMAND_BUTTON 152
#define IDB_BANNER 153
#define IDB_CHECK_OFF 154
#define IDB_CHECK_ON 155
