#pragma once
#define IDD_EXCHANGE 100
#define IDD_LANGUAGE 101
#define IDD_HOSTED 102
#define IDD_MISSING 199
#define IDC_TEXT 1010
#define IDC_NUMBER 1011
#define IDC_UNSIGNED 1012
#define IDC_COMBO 1013
#define IDC_LIST 1014
#define IDC_ACTION 1015
#define IDC_GRID 1016
#define IDS_GREETING 300
// Only the rival plug-in of the resource tests has this one.
#define IDS_RIVAL_ONLY 301
