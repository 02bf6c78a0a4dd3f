// A loaded module's resources as the host sees them. On Windows an instance handle leads to the
// module's resource section; here the handle is the address of the module's resource record,
// which the module defines as data and hands to its library entry. The host finds dialog
// templates and strings through it.
#pragma once
#include "host/DialogTemplate.h"
#include "host/Win32Types.h"

struct StringResource {
    UINT id;
    const char* text;
};

// A version resource: numeric versions, the string entries of one translation, and that
// translation's language and code page.
struct VersionStringEntry {
    const char* key;
    const char* value;
};
struct VersionRecord {
    WORD fileVersion[4];
    WORD productVersion[4];
    const VersionStringEntry* strings;
    int stringCount;
    WORD language;
    WORD codePage;
};

struct HINSTANCE__ {
    const char* moduleName;
    const DialogTemplate* const* dialogs;
    int dialogCount;
    const StringResource* strings;
    int stringCount;
    const VersionRecord* version;
};

// The template of dialog `id` in the module, or nullptr.
const DialogTemplate* FindDialogTemplate(HINSTANCE instance, int id);

// Win32 LoadString: copies string `id` of the module's string table into buffer (at most
// bufferMax - 1 characters, then a terminator) and returns the number of characters copied;
// 0 when the instance is null, the string does not exist or the buffer is empty.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax);

// The value of a version string entry ("CompanyName", ...), or nullptr.
const char* VersionString(const VersionRecord& record, const char* key);
