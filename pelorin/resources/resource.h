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
