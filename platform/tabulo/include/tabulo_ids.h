// Ids of the database library's resources. The data-source dialog's controls are public, so that
// a script or robot can drive the dialog like an engineer does.
#pragma once

// The data-source dialog.
#define IDD_TABULO_SOURCE 30100
#define IDC_TABULO_FILE_KIND 30101  // radio: a database file
#define IDC_TABULO_FILE_PATH 30102  // edit: the file's path
#define IDC_TABULO_BROWSE 30103     // button: "Browse…" (the common file dialog)
#define IDC_TABULO_ODBC_KIND 30104  // radio: an ODBC data source
#define IDC_TABULO_CONNECTION 30105 // editable combo: connection string, lists the DSNs
#define IDC_TABULO_TEST 30106       // button: connects and says whether it worked
