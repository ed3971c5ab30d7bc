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

// Update download dialog
#define IDD_AUTO_UPDATE 267
#define IDI_AU_DOWNLOAD 268
#define IDI_AU_ACCEPT 269
#define IDI_AU_STOP 271
#define IDI_AU_ERROR 272
#define IDI_AU_CANCEL 273
#define IDI_AU_HELP 274
#define IDB_AU_BANNER 275             // PNG
#define IDC_AU_LATEST 316
#define IDC_AU_APP_ICON 320
#define IDC_AU_HELP 323
#define IDC_AU_PROGRESS 330
#define IDC_AU_RESULT 336
#define IDC_AU_OK 337
#define IDC_AU_CANCEL 339
#define IDC_AU_AUTO_CHECK 340
#define IDC_AU_NOTES_LINK 343
#define IDC_AU_IDENTIFICATION 344
#define IDC_AU_VERSION_LINK 345
#define IDC_AU_FOUND 346
#define IDC_AU_BANNER 347
#define IDC_AU_NUMBER 1040
#define IDC_AU_APP_NAME 1041
#define IDC_AU_DESCRIPTION 1042
#define IDC_AU_INSTALLED 1045
#define IDC_AU_KEY 3002
#define IDS_AU_ACCEPT 1060
#define IDS_AU_DOWNLOAD 1061
#define IDS_AU_CHECKING 1062
#define IDS_AU_UP_TO_DATE 1063
#define IDS_AU_DOWNLOADED 1064
#define IDS_AU_AVAILABLE 1065
#define IDS_AU_NO_APP_INFO 1066
#define IDS_AU_DOWNLOADING 1067
#define IDS_AU_STOP 1068
#define IDS_AU_UNDEFINED 1069
#define IDS_AU_CONNECTION_UNDEFINED 1070
#define IDS_AU_DOWNLOAD_FAILED 1071   // "%s" the last error
#define IDS_AU_QUERY_FAILED 1072      // "%s" the last error
#define IDS_AU_STATUS_FAILED 1073     // "%d" the HTTP status
#define IDS_AU_NO_CONNECTION 1074
#define IDS_AU_STOPPED 1075
#define IDS_AU_SAVE_FAILED 1076
#define IDS_AU_ATTEMPTS_EXHAUSTED 1077
#define IDS_AU_NO_MEMORY 1078
#define IDS_AU_INSTALL 1079
#define IDS_AU_DOWNLOADING_PACKAGE 1080
#define IDS_AU_LEAVE_QUESTION 1085
#define IDS_AU_UNKNOWN_ERROR 1094     // a failed download without a reason
#define IDS_AU_TEMP_PATH 1095         // the temporary folder's path is too long
#define IDH_AU_DIALOG 131339          // help context: 0x20000 + IDD_AUTO_UPDATE
#define IDR_MODULE_MANIFEST 2         // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
