// Resource and control ids of the dialogs, as their templates number them.
#pragma once

// Dialogs, icon and strings
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_MAIN = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDD_TASK = 129;
constexpr int IDM_ABOUTBOX = 16; // system command of the About item

// Standard command ids
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int ID_HELP = 57670;

// Main window controls
constexpr int IDC_START = 1001;
constexpr int IDC_PRESET = 1002;
constexpr int IDC_CLEAR = 1003;
constexpr int IDC_LIST = 1004;
constexpr int IDC_SHOWLIST = 1005;
constexpr int IDC_NEW = 1006;
constexpr int IDC_EDIT = 1007;
constexpr int IDC_REMOVE = 1008;
constexpr int IDC_MAIN_OK = 1025;

// Task editor controls
constexpr int IDC_TASK_DESCRIPTION = 1023;
constexpr int IDC_TASK_DELAY = 1007;
constexpr int IDC_TASK_DELAY_PICKER = 1015;
constexpr int IDC_TASK_COUNT_DOWN = 1012;
constexpr int IDC_TASK_COUNT_UP = 1013;
constexpr int IDC_TASK_TIME = 1008;
constexpr int IDC_TASK_TIME_PICKER = 1014;
constexpr int IDC_TASK_BEEP = 1016;
constexpr int IDC_TASK_BEEP_HZ = 1017;
constexpr int IDC_TASK_BEEP_MS = 1021;
constexpr int IDC_TASK_RUN = 1018;
constexpr int IDC_TASK_RUN_FILE = 1019;
constexpr int IDC_TASK_SELECT = 1020;
