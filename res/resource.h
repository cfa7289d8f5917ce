// Resource names and ids, shared by the resource scripts and the code.
#ifndef UNINSTALL_RES_RESOURCE_H
#define UNINSTALL_RES_RESOURCE_H

// Dialog templates and icon groups are named resources.  The resource
// compiler takes a name as a bare word: a quoted one would be joined to the
// quoted file name that ends the statement before it.
#ifdef RC_INVOKED
#define DLG_SETUP SETUPDLG
#define DLG_DONE DONEDLG
#define DLG_CONTEXT_ITEMS CONTEXTITEMS
#define ICON_DELETE DELICON
#define ICON_APP KEXICON
#else
#define DLG_SETUP "SETUPDLG"
#define DLG_DONE "DONEDLG"
#define DLG_CONTEXT_ITEMS "CONTEXTITEMS"
#define ICON_DELETE "DELICON"
#define ICON_APP "KEXICON"
#endif

// Standard command ids used by the dialogs.
#define IDC_HELP_BUTTON 9

// "SETUPDLG"
#define IDC_ASSOC_FIRST 5101  // 5101..5112: one check box per archive type
#define IDC_ASSOC_KEX 5101
#define IDC_ASSOC_ZIP 5102
#define IDC_ASSOC_CAB 5103
#define IDC_ASSOC_ARJ 5104
#define IDC_ASSOC_LZH 5105
#define IDC_ASSOC_ACE 5106
#define IDC_ASSOC_TAR 5107
#define IDC_ASSOC_GZIP 5108
#define IDC_ASSOC_UUE 5109
#define IDC_ASSOC_BZ2 5110
#define IDC_ASSOC_JAR 5111
#define IDC_ASSOC_ISO 5112
#define IDC_ASSOC_LAST 5112
#define IDC_DESKTOP 5113
#define IDC_START_MENU 5114
#define IDC_PROGRAMS 5115
#define IDC_SHELL_EXT 5116
#define IDC_CASCADED_MENU 5117
#define IDC_MENU_ICONS 5118
#define IDC_SELECT_ALL 5119
#define IDC_SETUP_TEXT 5120
#define IDC_CONTEXT_ITEMS 5121

// "CONTEXTITEMS": 101..111, one check box per context-menu command
#define IDC_ITEM_FIRST 101
#define IDC_ITEM_LAST 111

// "DONEDLG"
#define IDC_INSTALL_FOLDER 5101
#define IDC_RUN_ARCHIVER 5102
#define IDC_READ_HELP 5103
#define IDC_VIEW_LICENSE 5104
#define IDC_PRICE_LIST 5105
#define IDC_HOME_PAGE 5106
#define IDC_THANKS 5107
#define IDC_INFO_FIRST 5108
#define IDC_INFO_SECOND 5109

// String table
#define MSG_DISPLAY_NAME 5101
#define MSG_HELP_SHORTCUT 5102
#define MSG_MANUAL_SHORTCUT 5103
#define MSG_UNINSTALL_CAPTION 5104
#define MSG_UNINSTALL_DONE 5105
#define MSG_DELETE_BY_HAND 5106
#define MSG_CONFIRM_UNINSTALL 5107
#define MSG_CANNOT_OPEN_LIST 5108
#define MSG_ARCHIVE_TYPE 5109
#define MSG_ZIP_TYPE 5110
#define MSG_RECOVERY_TYPE 5111
#define MSG_HOME_PAGE 5112
#define MSG_SHORTCUT_COMMENT 5113
#define MSG_FILES_IN_USE 5114
#define MSG_RESTART_COMPLETES 5115
// setup and uninstall refuse a folder that the ANSI calls cannot address
#define MSG_FOLDER_UNSUPPORTED 5120
// a second setup or uninstall of the same installation
#define MSG_ALREADY_RUNNING 5121

#endif
