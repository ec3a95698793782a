// keyconfig_format_check: builds the device layer's data formats and compares them, field by
// field, with MinGW-w64's predefined c_dfDIJoystick, c_dfDIKeyboard and c_dfDIMouse (libdinput8),
// which the program does not link. Prints every difference; exit code 0 when there is none,
// 1 otherwise. A Windows console program, built beside keyconfig.exe; test.sh runs it under Wine.
#include "input/data_formats.h"

#include <cstdio>
#include <cstring>

namespace {

int g_differences = 0;

// Counts a difference and starts its line: the format, the object (or -1 for the format itself)
// and the field.
void Differs(const char* format, long object, const char* field) {
    ++g_differences;
    if (object < 0) {
        std::printf("%s.%s: built ", format, field);
    } else {
        std::printf("%s.rgodf[%ld].%s: built ", format, object, field);
    }
}

void CompareNumber(const char* format, long object, const char* field, DWORD built, DWORD mingw) {
    if (built != mingw) {
        Differs(format, object, field);
        std::printf("0x%08lX, MinGW 0x%08lX\n", static_cast<unsigned long>(built),
                    static_cast<unsigned long>(mingw));
    }
}

void PrintGuid(const GUID* guid) {
    if (guid == nullptr) {
        std::printf("null");
        return;
    }
    std::printf("%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid->Data1), guid->Data2, guid->Data3, guid->Data4[0],
                guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5],
                guid->Data4[6], guid->Data4[7]);
}

// The same GUID by value, or both null (any object of the type).
void CompareGuid(const char* format, long object, const GUID* built, const GUID* mingw) {
    const bool same = (built == nullptr || mingw == nullptr)
                          ? built == mingw
                          : std::memcmp(built, mingw, sizeof *built) == 0;
    if (!same) {
        Differs(format, object, "pguid");
        PrintGuid(built);
        std::printf(", MinGW ");
        PrintGuid(mingw);
        std::printf("\n");
    }
}

void CompareFormat(const char* name, const DIDATAFORMAT& built, const DIDATAFORMAT& mingw) {
    CompareNumber(name, -1, "dwSize", built.dwSize, mingw.dwSize);
    CompareNumber(name, -1, "dwObjSize", built.dwObjSize, mingw.dwObjSize);
    CompareNumber(name, -1, "dwFlags", built.dwFlags, mingw.dwFlags);
    CompareNumber(name, -1, "dwDataSize", built.dwDataSize, mingw.dwDataSize);
    CompareNumber(name, -1, "dwNumObjs", built.dwNumObjs, mingw.dwNumObjs);
    const DWORD count = built.dwNumObjs < mingw.dwNumObjs ? built.dwNumObjs : mingw.dwNumObjs;
    if (count > 0 && built.rgodf == nullptr) {
        Differs(name, -1, "rgodf");
        std::printf("null, MinGW objects\n");
        return;
    }
    for (DWORD i = 0; i < count; ++i) {
        const DIOBJECTDATAFORMAT& b = built.rgodf[i];
        const DIOBJECTDATAFORMAT& m = mingw.rgodf[i];
        const long object = static_cast<long>(i);
        CompareGuid(name, object, b.pguid, m.pguid);
        CompareNumber(name, object, "dwOfs", b.dwOfs, m.dwOfs);
        CompareNumber(name, object, "dwType", b.dwType, m.dwType);
        CompareNumber(name, object, "dwFlags", b.dwFlags, m.dwFlags);
    }
}

} // namespace

int main() {
    BuildDataFormats();
    CompareFormat("c_dfDIJoystick", *DataFormat(FORMAT_JOYSTICK), c_dfDIJoystick);
    CompareFormat("c_dfDIKeyboard", *DataFormat(FORMAT_KEYBOARD), c_dfDIKeyboard);
    CompareFormat("c_dfDIMouse", *DataFormat(FORMAT_MOUSE), c_dfDIMouse);
    if (g_differences > 0) {
        std::printf("%d differences from MinGW's predefined data formats\n", g_differences);
        return 1;
    }
    std::printf("The built data formats are MinGW's c_dfDIJoystick, c_dfDIKeyboard and "
                "c_dfDIMouse, object for object (%d-bit)\n",
                static_cast<int>(sizeof(void*) * 8));
    return 0;
}
