// Resource ids of pelorin.
#pragma once

#define IDB_WIZARD 1010

// Server configuration step.
#define IDD_SERVER_CONFIG 12000
#define IDC_REFRESH 4
#define IDC_GROUP 12001
#define IDC_REFRESH_TIME 12002
#define IDC_OPC10 12005
#define IDC_OPC20 12006
#define IDC_SYNCHRONOUS 12008
#define IDC_SERVER 12009
#define IDC_ASYNCHRONOUS 12010
#define IDC_NODE 12012
#define IDC_BACK 12013
#define IDC_BATCH_ITEM 12014
#define IDC_RECONNECT 1034

// Item link dialog.
#define IDD_ITEM_LINK 1000
#define IDC_BRANCH_TREE 1004
#define IDC_LEAF_LIST 1005
#define IDC_ITEM_ID 1006
#define IDC_OPC_PATH 1013
#define IDC_FLAT_LIST 1016
#define IDC_FILTER 1017
#define IDC_BAD_VALUE 1020
#define IDC_DATA_TYPE 1024
#define IDC_READ_ATTRIBUTE 1026
#define IDC_BAD_VALUE_LABEL 1028
#define IDC_SHOW_VALUE 1029
#define IDC_SHOW_VALUE_LABEL 1030
#define IDC_SOURCE 1034
#define IDC_TAG_GRID 12015
#define IDC_MAKE_TAGS 12021
#define IDC_CREATE_TABLE 12022
#define IDC_CHOOSE_SOURCE 12023
#define IDC_MAKE_TAGS_ADVANCED 12025

// String table.
#define IDS_CONNECT_ERROR 3
#define IDS_ALREADY_LINKED 4
#define IDS_SAVE_AND_EXIT 5
#define IDS_CONFIRM_DELETE 6
#define IDS_PV_TITLE 7
#define IDS_TAG_TITLE 8
#define IDS_DESC_TITLE 9
#define IDS_TAG_LIMIT 10
#define IDS_TAGS_MADE 11

// Items of the item link dialog's attribute combos, in combo order (the same Chinese items for
// both templates).
#define IDS_DATA_TYPE_FIRST 101      // 101..106
#define IDS_READ_ATTRIBUTE_FIRST 111 // 111..112
#define IDS_BAD_VALUE_FIRST 121      // 121..122
