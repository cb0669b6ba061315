// Ids of the host probe's dialog.
#pragma once

#define IDD_PROBE 100
#define IDC_TREE 1004
#define IDC_LIST 1005
#define IDC_EDIT 1006
#define IDC_EXPANSIONS 1010
#define IDC_SELECTED 1011
#define IDC_DOUBLE_CLICKED 1013
#define IDC_ADVANCED 1014
#define IDC_ALIAS_FILE 1015
#define IDC_HIDDEN 1020
