// Resource identifiers of QuorvexIntl.ocx, shared by the .rc file and the code.
#pragma once

// Strings
#define IDS_QVXINTL_USERTYPE 1     // user type name of the control
#define IDS_UPDATE_MENU_ITEM 114   // the item appended to the host's menu
#define IDS_SOCKETS_INIT_FAILED 119
#define IDS_QUERY_STATUS_FAILED 120  // "%s" the object path, "%d" the HTTP status
#define IDS_QUERY_OPEN_FAILED 121    // "%s" the object path
#define IDS_QUERY_READ_FAILED 122    // "%s" the object path
// Built-in deployment values (common/deployment_settings.h)
#define IDS_UPDATE_SERVER_HOST 123
#define IDS_WEB_HOST 124
#define IDS_MAIL_SERVER 125
#define IDS_SUPPORT_MAILBOX 126
#define IDS_INTERNET_ERROR 127       // "%lu" a WinInet error without a system message
#define IDS_SEPARATORS_EQUAL 1087   // the separators stay equal after the warning
#define IDS_SA_CAPTION 1090         // caption of the update request's message boxes
#define IDS_SA_FIELD_EMPTY 1091
#define IDS_SA_SEND_FAILED 1092
#define IDS_SA_SENT 1093

// Bitmaps
#define IDB_QVXINTL_TOOLBOX 1      // 16x15, 16 colours

// Separator warning
#define IDD_CONFIG_REG 276
#define IDI_CONFIG_REG 278
#define IDC_CONFIG_REG_COMMA 341   // first radio: decimal ",", thousands "."
#define IDC_CONFIG_REG_POINT 342   // second radio: decimal ".", thousands ","

// Update request form
#define IDI_SOLICITAR_ACT 260
#define IDD_SOLICITAR_ACT 263
#define IDC_SA_UPDATEVER 316       // new version
#define IDC_SA_ICON 320
#define IDC_SA_NOMBRE 1036
#define IDC_SA_NIF 1037
#define IDC_SA_TFNO 1038
#define IDC_SA_EMAIL 1039
#define IDC_SA_NUMCLIENTE 1040
#define IDC_SA_APPNAME 1041
#define IDC_SA_LONGNAME 1042
#define IDC_SA_ENVIAR 1044
#define IDC_SA_VER 1045            // installed version
#define IDC_SA_COMENTARIO 1048

// Update information (262) and properties (259) dialogs. Icon 260, the
// request form's, is also the picture of the "check now" button.
#define IDD_UPDATE 259
#define IDI_UPDATE_CHECK_NOW IDI_SOLICITAR_ACT
#define IDI_INFO_CURRENT 261
#define IDI_INFO_OUTDATED 262
#define IDI_INFO_UNCHECKED 263
#define IDD_INFO_UPDATE 262
#define IDC_UPD_AUTO 310           // check at the host's start-up
#define IDC_UPD_CHECK_NOW 311
#define IDC_UPD_SHOW_ERR 312       // show a failed start-up check
#define IDC_INFO_ICON 313
#define IDC_INFO_STATE 314
#define IDC_INFO_INSTALLED 315
#define IDC_INFO_LATEST 316
#define IDC_INFO_REQUEST 317       // opens the update request form
#define IDC_INFO_ERROR 318
#define IDC_INFO_GROUP 319
#define IDS_INFO_CURRENT 1081
#define IDS_INFO_OUTDATED 1082
#define IDS_INFO_UNCHECKED 1083
#define IDS_INFO_UNDETERMINED 1084
