// keyconfig_format_check: builds the device layer's data formats and compares them, field by
// field, with MinGW-w64's predefined c_dfDIJoystick, c_dfDIKeyboard and c_dfDIMouse (libdinput8),
// which the program does not link. Prints every difference; exit code 0 when there is none,
// 1 otherwise. A Windows console program, built beside keyconfig.exe; tests/e2e/run_e2e.sh runs it
// under Wine.
#include "input/data_formats.h"

#include <cstdio>
#include <cstring>

namespace {

int g_differences = 0;

// Reports a field whose two values differ; object -1 is the format itself.
void Compare(const char* format, long object, const char* field, unsigned long built,
             unsigned long mingw) {
    if (built != mingw) {
        ++g_differences;
        std::printf("%s object %ld %s: built 0x%08lX, MinGW 0x%08lX\n", format, object, field,
                    built, mingw);
    }
}

// The same GUID by value, or both null (any object of the type).
bool SameGuid(const GUID* built, const GUID* mingw) {
    return built == nullptr || mingw == nullptr ? built == mingw
                                                : std::memcmp(built, mingw, sizeof *built) == 0;
}

void CompareFormat(const char* name, const DIDATAFORMAT& built, const DIDATAFORMAT& mingw) {
    Compare(name, -1, "dwSize", built.dwSize, mingw.dwSize);
    Compare(name, -1, "dwObjSize", built.dwObjSize, mingw.dwObjSize);
    Compare(name, -1, "dwFlags", built.dwFlags, mingw.dwFlags);
    Compare(name, -1, "dwDataSize", built.dwDataSize, mingw.dwDataSize);
    Compare(name, -1, "dwNumObjs", built.dwNumObjs, mingw.dwNumObjs);
    for (DWORD i = 0; i < built.dwNumObjs && i < mingw.dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT& b = built.rgodf[i];
        const DIOBJECTDATAFORMAT& m = mingw.rgodf[i];
        Compare(name, i, "pguid differs", !SameGuid(b.pguid, m.pguid), 0);
        Compare(name, i, "dwOfs", b.dwOfs, m.dwOfs);
        Compare(name, i, "dwType", b.dwType, m.dwType);
        Compare(name, i, "dwFlags", b.dwFlags, m.dwFlags);
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
