#pragma once
// Windows constants under their Windows names, so that code above the boundary
// reads like the Windows calls it stands for. Each is defined only when the
// Windows headers have not already done so, which keeps the Win32 sources that
// include <windows.h> and the portable sources in agreement.

// Error codes.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2L
#endif
#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND 3L
#endif
#ifndef ERROR_OPEN_FAILED
#define ERROR_OPEN_FAILED 110L
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259L
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef ERROR_UNKNOWN_PRODUCT
#define ERROR_UNKNOWN_PRODUCT 1605L
#endif
#ifndef ERROR_UNKNOWN_PROPERTY
#define ERROR_UNKNOWN_PROPERTY 1608L
#endif
#ifndef ERROR_INSTALL_FAILURE
#define ERROR_INSTALL_FAILURE 1603L
#endif
#ifndef ERROR_BAD_QUERY_SYNTAX
#define ERROR_BAD_QUERY_SYNTAX 1615L
#endif
#ifndef ERROR_INSTALL_PACKAGE_OPEN_FAILED
#define ERROR_INSTALL_PACKAGE_OPEN_FAILED 1619L
#endif
#ifndef ERROR_INVALID_DATA
#define ERROR_INVALID_DATA 13L
#endif
#ifndef ERROR_INVALID_COMMAND_LINE
#define ERROR_INVALID_COMMAND_LINE 1639L
#endif
#ifndef ERROR_SUCCESS_REBOOT_INITIATED
#define ERROR_SUCCESS_REBOOT_INITIATED 1641L
#endif
#ifndef ERROR_INSTALL_ALREADY_RUNNING
#define ERROR_INSTALL_ALREADY_RUNNING 1618L
#endif
#ifndef ERROR_SUCCESS_REBOOT_REQUIRED
#define ERROR_SUCCESS_REBOOT_REQUIRED 3010L
#endif
#ifndef ERROR_CALL_NOT_IMPLEMENTED
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#endif

// File attributes.
#ifndef FILE_ATTRIBUTE_READONLY
#define FILE_ATTRIBUTE_READONLY 0x00000001
#endif
#ifndef FILE_ATTRIBUTE_HIDDEN
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#endif
#ifndef FILE_ATTRIBUTE_SYSTEM
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#endif
#ifndef FILE_ATTRIBUTE_DIRECTORY
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#endif
#ifndef FILE_ATTRIBUTE_ARCHIVE
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#endif
#ifndef FILE_ATTRIBUTE_REPARSE_POINT
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#endif

// Message boxes.
#ifndef MB_OK
#define MB_OK 0x00000000L
#endif
#ifndef MB_YESNO
#define MB_YESNO 0x00000004L
#endif
#ifndef MB_ICONQUESTION
#define MB_ICONQUESTION 0x00000020L
#endif
#ifndef MB_ICONWARNING
#define MB_ICONWARNING 0x00000030L
#endif
#ifndef MB_ICONINFORMATION
#define MB_ICONINFORMATION 0x00000040L
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDYES
#define IDYES 6
#endif
#ifndef IDNO
#define IDNO 7
#endif

// Shell file operations.
#ifndef FO_COPY
#define FO_COPY 0x0002
#endif
#ifndef FO_DELETE
#define FO_DELETE 0x0003
#endif
#ifndef FOF_SILENT
#define FOF_SILENT 0x0004
#endif
#ifndef FOF_NOCONFIRMATION
#define FOF_NOCONFIRMATION 0x0010
#endif
#ifndef FOF_NOERRORUI
#define FOF_NOERRORUI 0x0400
#endif
#ifndef FOF_NOCONFIRMMKDIR
#define FOF_NOCONFIRMMKDIR 0x0200
#endif

// Special folders.
#ifndef CSIDL_COMMON_STARTMENU
#define CSIDL_COMMON_STARTMENU 0x0016
#endif
#ifndef CSIDL_COMMON_PROGRAMS
#define CSIDL_COMMON_PROGRAMS 0x0017
#endif
#ifndef CSIDL_PROGRAM_FILES
#define CSIDL_PROGRAM_FILES 0x0026
#endif
#ifndef CSIDL_PROGRAM_FILESX86
#define CSIDL_PROGRAM_FILESX86 0x002a
#endif

// File-open dialog.
#ifndef OFN_FILEMUSTEXIST
#define OFN_FILEMUSTEXIST 0x00001000
#endif
#ifndef OFN_PATHMUSTEXIST
#define OFN_PATHMUSTEXIST 0x00000800
#endif
#ifndef OFN_EXPLORER
#define OFN_EXPLORER 0x00080000
#endif

// Windows Installer.
#ifndef INSTALLUILEVEL_NONE
#define INSTALLUILEVEL_NONE 2
#endif
#ifndef INSTALLLEVEL_MAXIMUM
#define INSTALLLEVEL_MAXIMUM 0xFFFF
#endif
#ifndef INSTALLSTATE_ABSENT
#define INSTALLSTATE_ABSENT 2
#endif
#ifndef INSTALLLOGATTRIBUTES_APPEND
#define INSTALLLOGATTRIBUTES_APPEND 1
#endif
#ifndef INSTALLLOGATTRIBUTES_FLUSHEACHLINE
#define INSTALLLOGATTRIBUTES_FLUSHEACHLINE 2
#endif

// COM results.
#ifndef S_OK
#define S_OK 0L
#endif
#ifndef E_FAIL
#define E_FAIL static_cast<int32_t>(0x80004005L)
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG static_cast<int32_t>(0x80070057L)
#endif

// Processes and Windows versions.
#ifndef STILL_ACTIVE
#define STILL_ACTIVE 259L
#endif
#ifndef VER_PLATFORM_WIN32_WINDOWS
#define VER_PLATFORM_WIN32_WINDOWS 1
#endif
#ifndef VER_PLATFORM_WIN32_NT
#define VER_PLATFORM_WIN32_NT 2
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
