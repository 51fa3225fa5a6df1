// Resource and command numbers. Shared by the C++ sources and kestrel.rc, so
// plain #defines only.
#pragma once

// Bitmaps of the computer list tree.
#define IDB_COMPUTER_LIST 133
#define IDB_COMPUTER 134

// Bitmaps of the result list.
#define IDB_RESULT_WARNING 141
#define IDB_RESULT_NEUTRAL 142
#define IDB_RESULT_INFORMATION 143
#define IDB_RESULT_SUCCESS 148
#define IDB_RESULT_FAILURE 149

// Start dialog and its controls.
#define IDD_START 135
#define IDC_FROM_DATE 1001
#define IDC_TO_DATE 1002
#define IDC_TYPE_ERROR 1003
#define IDC_TYPE_WARNING 1004
#define IDC_TYPE_INFORMATION 1005
#define IDC_LOG_SYSTEM 1006
#define IDC_LOG_SECURITY 1007
#define IDC_LOG_APPLICATION 1008
#define IDC_FROM_LOG_START 1013
#define IDC_TO_LOG_END 1014
#define IDC_TYPE_AUDIT_SUCCESS 1030
#define IDC_TYPE_AUDIT_FAILURE 1031

// The main frame: menu, accelerators, toolbar and its bitmap, icon and
// document string.
#define IDR_MAINFRAME 128

// Report dialog and its controls.
#define IDD_REPORT 151
#define IDC_REPORT_TEXT 1000
#define IDC_REPORT_COPY 1044

// Commands.
#define ID_START_COLLECTION 32773
#define ID_DELETE_COMPUTER 32776
#define ID_SAVE_COMPUTER_LIST 32790
#define ID_IMPORT_COMPUTER_LIST 32791

// About box.
#define IDD_ABOUTBOX 100
#define IDC_ABOUT_NOTICE 1000
#define IDC_ABOUT_LINK 1035

// Messages of a failed file operation, one per cause, "%1" the file's name.
#define IDS_FILE_GENERIC 61857
#define IDS_FILE_NOT_FOUND 61858
#define IDS_FILE_BAD_PATH 61859
#define IDS_FILE_TOO_MANY_OPEN 61860
#define IDS_FILE_ACCESS_DENIED 61861
#define IDS_FILE_INVALID_FILE 61862
#define IDS_FILE_REMOVE_CURRENT 61863
#define IDS_FILE_DIR_FULL 61864
#define IDS_FILE_BAD_SEEK 61865
#define IDS_FILE_HARD_IO 61866
#define IDS_FILE_SHARING 61867
#define IDS_FILE_LOCKING 61868
#define IDS_FILE_DISK_FULL 61869
#define IDS_FILE_EOF 61870

// Commands of the results and of where runs read the logs.
#define ID_SAVE_RESULTS_CSV 32800
#define ID_OFFLINE_LOG_FOLDER 32801
#define ID_EVENT_LOG_SERVICE 32802
#define ID_EVENT_DETAILS 32803
#define ID_VIEW_SESSIONS 32804
#define ID_VIEW_SUMMARY 32805

// The windows of a run's sessions and its summary.
#define IDD_ANALYSIS 161
#define IDC_ANALYSIS_WARNINGS 1130
#define IDC_ANALYSIS_LIST 1131
#define IDC_ANALYSIS_SAVE 1132

// Commands of a run: stop it, and report its failed computers together at its end.
#define ID_STOP_COLLECTION 32806
#define ID_GATHER_FAILURES 32807

// The details of a row: its fields, in the order they are laid out and
// copied, its message, and the buttons that move through the rows.
#define IDD_EVENT_DETAILS 160
#define IDC_DETAIL_COMPUTER 1101
#define IDC_DETAIL_ORIGIN 1102
#define IDC_DETAIL_TIME 1103
#define IDC_DETAIL_RECORD 1104
#define IDC_DETAIL_EVENT_ID 1105
#define IDC_DETAIL_KIND 1106
#define IDC_DETAIL_USER 1107
#define IDC_DETAIL_DOMAIN 1108
#define IDC_DETAIL_LOGON_TYPE 1109
#define IDC_DETAIL_WORKSTATION 1110
#define IDC_DETAIL_ADDRESS 1111
#define IDC_DETAIL_PORT 1112
#define IDC_DETAIL_LOGON_ID 1113
#define IDC_DETAIL_STATUS 1114
#define IDC_DETAIL_SUB_STATUS 1115
#define IDC_DETAIL_REASON 1116
#define IDC_DETAIL_MESSAGE 1120
#define IDC_DETAIL_PREVIOUS 1121
#define IDC_DETAIL_NEXT 1122
#define IDC_DETAIL_COPY 1123
