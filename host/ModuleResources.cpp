#include "host/ModuleResources.h"

#include <cstring>

const DialogTemplate* FindDialogTemplate(HINSTANCE instance, int id) {
    if (!instance || !instance->dialogs) return nullptr;
    for (int i = 0; i < instance->dialogCount; ++i) {
        const DialogTemplate* t = instance->dialogs[i];
        if (t && t->id == id) return t;
    }
    return nullptr;
}

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0) return 0;
    buffer[0] = '\0';
    if (!instance || !instance->strings) return 0;
    for (int i = 0; i < instance->stringCount; ++i) {
        const StringResource& s = instance->strings[i];
        if (s.id != id || !s.text) continue;
        const size_t length = std::strlen(s.text);
        const size_t n = length < static_cast<size_t>(bufferMax - 1) ? length : static_cast<size_t>(bufferMax - 1);
        std::memcpy(buffer, s.text, n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    return 0;
}

const char* VersionString(const VersionRecord& record, const char* key) {
    if (!key || !record.strings) return nullptr;
    for (int i = 0; i < record.stringCount; ++i)
        if (record.strings[i].key && std::strcmp(record.strings[i].key, key) == 0) return record.strings[i].value;
    return nullptr;
}
