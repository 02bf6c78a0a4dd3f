// Win32 MessageBoxA, routed to the host that is installed: the standalone host prints it, a test
// host records it and answers as scripted, an application host shows a real box.
#pragma once
#include <functional>
#include <string>

#include "host/Win32Types.h"

// Returns the button pressed: IDOK, IDYES or IDNO.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

using MessageBoxHandler = std::function<int(const std::string& text, const std::string& caption, UINT type)>;
// Installs the handler; returns the previous one. Without a handler a box is written to stderr
// and answered IDOK, or IDNO for a Yes/No question.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
