// Resource and control identifiers of audit.
#pragma once

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_AUDIT_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDB_BANNER = 133;
constexpr int IDD_CONFIG = 135;

constexpr int IDC_CHANGE = 1001;
constexpr int IDC_GO = 1002;
constexpr int IDC_CLEAR = 1003;
constexpr int IDC_CONFIGURE = 1004;
constexpr int IDC_SYSNAME = 1006;
constexpr int IDC_DRIVE = 1007;
constexpr int IDC_TYPE = 1008;
constexpr int IDC_PATH = 1009;
constexpr int IDC_CLEARLABEL = 1010;
constexpr int IDC_PROGRESS = 1011;
constexpr int IDC_EDIT_SYSNAME = 1012;
constexpr int IDC_EDIT_DRIVE = 1013;
constexpr int IDC_EDIT_TYPE = 1014;
constexpr int IDC_EDIT_AUTOLOCATION = 1015;
constexpr int IDC_BROWSE = 1016;

constexpr unsigned IDM_ABOUTBOX = 16;

// Registers the dialogs, strings and images with the dialog layer.
void RegisterAuditResources();
