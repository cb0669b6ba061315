// Ids of the grid test plug-in's dialog.
#pragma once

#define IDD_GRIDTEST 100
#define IDC_LOG 1001
#define IDC_REFUSE_KEYS 1002
#define IDC_REFUSE_CHANGES 1003
#define IDC_CLEAR_LOG 1004
#define IDC_ITEM 1005
#define IDC_LINK 1006
#define IDC_NAME 1007
#define IDC_CREATE 1008
#define IDC_THROW 1009
#define IDC_THROW_IN_EVENTS 1010
#define IDC_GRID 12015
