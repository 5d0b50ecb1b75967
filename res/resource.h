// SPDX-License-Identifier: MIT
// Resource ids: dialogs, icon, menu, string-table entries, system-menu commands and the
// control ids of every dialog template.
#pragma once

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_BRIMVALE_DIALOG = 102;
inline constexpr int IDD_SAVECROP = 130;
inline constexpr int IDD_IMAGETYPE = 155;
inline constexpr int IDD_CONFIG = 156;
inline constexpr int IDD_FOLDERBROWSER = 157;

// Icon and menu.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_FILEMENU = 156;
inline constexpr int ID_FILEMENU_SELECTALL = 32771;
inline constexpr int ID_FILEMENU_CLEARALLSELECTIONS = 32772;

// String-table entries.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_ADDRESS = 102;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;
inline constexpr int IDS_COPYRIGHT = 104;
inline constexpr int IDS_CHECKFORUPDATE = 105;
inline constexpr int IDS_AUTOUPDATE = 106;

// System-menu commands of the main window.
inline constexpr unsigned IDM_ABOUTBOX = 0x10;
inline constexpr unsigned IDM_CHECKFORUPDATE = 0x20;
inline constexpr unsigned IDM_AUTOUPDATE = 0x30;
inline constexpr unsigned IDM_PREFERENCES = 0x40;

// Statics nobody addresses.
inline constexpr int IDC_STATIC = -1;

// Main window (template 102).
inline constexpr int IDC_PREVIEW = 1000;
inline constexpr int IDC_FOLDERTREE = 1001;
inline constexpr int IDC_FILELIST = 1002;
inline constexpr int IDC_QUALITY_25 = 1011;
inline constexpr int IDC_QUALITY_50 = 1012;
inline constexpr int IDC_QUALITY_75 = 1013;
inline constexpr int IDC_QUALITY_90 = 1014;
inline constexpr int IDC_QUALITY_100 = 1015;
inline constexpr int IDC_QUALITY_SET = 1017;
inline constexpr int IDC_SELECTEDLIST = 1018;
inline constexpr int IDC_SAVEIMAGES = 1019;
inline constexpr int IDC_SETFOLDER = 1020;
inline constexpr int IDC_CLEARLIST = 1021;
inline constexpr int IDC_STATUS = 1022;
inline constexpr int IDC_PERCENT_EDIT = 1026;
inline constexpr int IDC_SELECTED_CAPTION = 1032;
inline constexpr int IDC_SHOWFOLDER = 1033;
inline constexpr int IDC_USESOURCEFOLDER = 1034;
inline constexpr int IDC_SIZE_GROUP = 1035;
inline constexpr int IDC_QUALITY_GROUP = 1036;
inline constexpr int IDC_DESTINATIONS = 1039;
inline constexpr int IDC_FILES_CAPTION = 1044;
inline constexpr int IDC_QUALITY_SLIDER = 1045;
inline constexpr int IDC_QUALITY_EDIT = 1046;
inline constexpr int IDC_PERCENT_SLIDER = 1047;
inline constexpr int IDC_PREVIEW_CAPTION = 1048;
inline constexpr int IDC_DESTINATION = 1049;
inline constexpr int IDC_DESTINATION_CAPTION = 1050;
inline constexpr int IDC_FOLDERS_CAPTION = 1051;
inline constexpr int IDC_WIDTH_EDIT = 1052;
inline constexpr int IDC_HEIGHT_EDIT = 1053;
inline constexpr int IDC_WIDTH_SLIDER = 1054;
inline constexpr int IDC_HEIGHT_SLIDER = 1055;
inline constexpr int IDC_KEEPASPECT = 1056;
inline constexpr int IDC_DIMENSION_CAPTION = 1058;
inline constexpr int IDC_PERCENT_CAPTION = 1059;
inline constexpr int IDC_IMAGETYPE = 1061;
inline constexpr int IDC_SAVECROP = 1076;
inline constexpr int IDC_SIZE_1024 = 1201;
inline constexpr int IDC_SIZE_800 = 1202;
inline constexpr int IDC_SIZE_640 = 1203;
inline constexpr int IDC_SIZE_320 = 1204;
inline constexpr int IDC_SIZE_50 = 1205;
inline constexpr int IDC_SIZE_25 = 1206;
inline constexpr int IDC_SIZE_PERCENT = 1207;
inline constexpr int IDC_SIZE_DIMENSIONS = 1208;
inline constexpr int IDC_SIZE_75 = 1209;
inline constexpr int IDC_SIZE_SCREEN = 1210;

// About box (template 100).
inline constexpr int IDC_ABOUT_VERSION = 1027;
inline constexpr int IDC_ABOUT_COPYRIGHT = 1028;
inline constexpr int IDC_ABOUT_ADDRESS = 1029;
inline constexpr int IDC_ABOUT_WEBSITE = 1030;
inline constexpr int IDC_ABOUT_EMAIL = 1031;

// Image type dialog (template 155).
inline constexpr int IDC_TYPE_JPG = 1062;
inline constexpr int IDC_TYPE_PNG = 1063;
inline constexpr int IDC_TYPE_BMP = 1064;
inline constexpr int IDC_TYPE_GIF = 1065;
inline constexpr int IDC_TYPE_PSD = 1066;

// Settings dialog (template 156); its quality radios are IDC_QUALITY_25 to IDC_QUALITY_SET.
inline constexpr int IDC_CFG_PERCENT_EDIT = 1026;
inline constexpr int IDC_CFG_QUALITY_EDIT = 1027;
inline constexpr int IDC_CFG_LASTSIZE = 1040;
inline constexpr int IDC_CFG_LASTQUALITY = 1041;
inline constexpr int IDC_CFG_AUTOUPDATE = 1042;
inline constexpr int IDC_CFG_USESOURCE = 1043;
inline constexpr int IDC_CFG_QUALITY_SLIDER = 1048;
inline constexpr int IDC_CFG_HEIGHT_EDIT = 1052;
inline constexpr int IDC_CFG_WIDTH_EDIT = 1057;
inline constexpr int IDC_CFG_TYPE_JPG = 1060;
inline constexpr int IDC_CFG_TYPE_PNG = 1061;
inline constexpr int IDC_CFG_TYPE_BMP = 1062;
inline constexpr int IDC_CFG_TYPE_GIF = 1063;
inline constexpr int IDC_CFG_TYPE_PSD = 1064;
inline constexpr int IDC_CFG_SIZE_GROUP = 1065;
inline constexpr int IDC_CFG_QUALITY_GROUP = 1066;
inline constexpr int IDC_CFG_TYPE_GROUP = 1067;
inline constexpr int IDC_CFG_SIZE_1024 = 1101;
inline constexpr int IDC_CFG_SIZE_800 = 1102;
inline constexpr int IDC_CFG_SIZE_640 = 1103;
inline constexpr int IDC_CFG_SIZE_320 = 1104;
inline constexpr int IDC_CFG_SIZE_DIMENSIONS = 1105;
inline constexpr int IDC_CFG_SIZE_75 = 1106;
inline constexpr int IDC_CFG_SIZE_50 = 1107;
inline constexpr int IDC_CFG_SIZE_25 = 1108;
inline constexpr int IDC_CFG_SIZE_PERCENT = 1109;
inline constexpr int IDC_CFG_SIZE_SCREEN = 1110;

// Save-cropped-image dialog (template 130); its quality radios are IDC_QUALITY_25 to IDC_QUALITY_SET.
inline constexpr int IDC_CROP_QUALITY_EDIT = 1027;
inline constexpr int IDC_CROP_USESOURCE = 1043;
inline constexpr int IDC_CROP_HEIGHT_EDIT = 1052;
inline constexpr int IDC_CROP_WIDTH_EDIT = 1057;
inline constexpr int IDC_CROP_TYPE_JPG = 1060;
inline constexpr int IDC_CROP_TYPE_PNG = 1061;
inline constexpr int IDC_CROP_TYPE_BMP = 1062;
inline constexpr int IDC_CROP_TYPE_GIF = 1063;
inline constexpr int IDC_CROP_TYPE_PSD = 1064;
inline constexpr int IDC_CROP_SIZE_GROUP = 1065;
inline constexpr int IDC_CROP_QUALITY_GROUP = 1066;
inline constexpr int IDC_CROP_TYPE_GROUP = 1067;
inline constexpr int IDC_CROP_SIZE_1024 = 1068;
inline constexpr int IDC_CROP_SIZE_800 = 1069;
inline constexpr int IDC_CROP_SIZE_640 = 1070;
inline constexpr int IDC_CROP_SIZE_1920 = 1071;
inline constexpr int IDC_CROP_SIZE_SCREEN = 1072;
inline constexpr int IDC_CROP_SIZE_DIMENSIONS = 1073;
inline constexpr int IDC_CROP_FOLDER = 1074;
inline constexpr int IDC_CROP_BROWSE = 1075;
inline constexpr int IDC_CROP_SIZE_CROPPED = 1076;
inline constexpr int IDC_CROP_KEEPASPECT = 1077;
inline constexpr int IDC_CROP_FILENAME = 1078;
inline constexpr int IDC_CROP_SAVEAS_GROUP = 1079;
inline constexpr int IDC_CROP_APPENDCROPPED = 1080;

// Folder browser (template 157).
inline constexpr int IDC_FOLDER_STATUS = 1090;
inline constexpr int IDC_FOLDER_TREE = 1091;
inline constexpr int IDC_FOLDER_EDIT = 1092;
inline constexpr int IDC_FOLDER_NEW = 1093;
inline constexpr int IDC_FOLDER_CAPTION = 1094;
