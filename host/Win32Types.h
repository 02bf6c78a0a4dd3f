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
using ULONG_PTR = std::uintptr_t;
using LPVOID = void*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

// A window procedure's answer, and a dialog procedure (true when it handled the message).
using LRESULT = std::intptr_t;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// A rectangle in pixels: left and top inclusive, right and bottom exclusive.
struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Packing of two 16-bit halves into message parameters.
constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFFu); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFFu); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Why a library entry is called: the module was loaded into or unloaded from the process, or a
// thread started or ended.
constexpr ULONG DLL_PROCESS_DETACH = 0;
constexpr ULONG DLL_PROCESS_ATTACH = 1;
constexpr ULONG DLL_THREAD_ATTACH = 2;
constexpr ULONG DLL_THREAD_DETACH = 3;

// Message-box styles and answers (the subset the plug-in uses).
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
