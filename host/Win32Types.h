// The handful of Win32 and C-runtime types the plug-in code speaks in, defined portably so the
// same code builds on any platform. Nothing here calls the operating system.
#pragma once
#include <cstdint>

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BOOL = int;
using UINT = unsigned int;
using ULONG = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using INT_PTR = std::intptr_t;
using LPVOID = void*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Message-box styles and answers (the subset the plug-in uses).
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
