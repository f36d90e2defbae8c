#pragma once
// Resource and control ids. The control ids are part of the package format: the language table
// is keyed by them.
#define IDD_WIZARD 201
#define IDI_INSTALLER 212

#define IDC_ACCEPT 5
#define IDC_FILE 203
#define IDC_FILE_PROGRESS 204
#define IDC_TOTAL_PROGRESS 205
#define IDC_LOGO 206
#define IDC_FOLDER 207
#define IDC_BROWSE 208
#define IDC_FOLDER_LABEL 222
#define IDC_SPACE 223
#define IDC_MENU_LABEL 224
#define IDC_COMPONENTS 225
#define IDC_COMPONENTS_LABEL 226
#define IDC_TOTAL_LABEL 228
#define IDC_LICENCE 230
#define IDC_DESCRIPTION 231
#define IDC_MENU_FIXED 234
#define IDC_MENU 235
#define IDC_LANGUAGE 236
#define IDC_LANGUAGE_LABEL 238
#define IDC_LICENCE_INTRO 239
#define IDC_SCOPE_ALL 240
#define IDC_SCOPE_USER 241
