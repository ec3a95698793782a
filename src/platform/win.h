// The Windows and DirectInput 8 names that keyconfig's portable code uses.
//
// On Windows this is the real <windows.h> and <dinput.h>. Elsewhere it declares the same
// names, with their published values, so that the portable code compiles unchanged and the
// tests can link fakes behind the functions and interfaces. Only what the program uses is
// declared; each interface lists just the methods the program calls.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>

#include <dinput.h>

#else // Portable declarations for the Linux build and its tests.

#include <cstddef>
#include <cstdint>

#define CALLBACK
#define WINAPI

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int32_t HRESULT;
typedef void* LPVOID;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef wchar_t WCHAR;

#define TRUE 1
#define FALSE 0

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Window functions (user32).
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);
DWORD GetTickCount();
HWND GetFocus();
HWND SetFocus(HWND window);
HWND GetDlgItem(HWND dialog, int id);
LONG GetWindowLongW(HWND window, int index);
#define GWL_ID (-12)

// System error numbers and file attributes (winerror.h, fileapi.h) that the file layer's
// decisions are made from.
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_CANT_RESOLVE_FILENAME 1921L
#define ERROR_ALREADY_EXISTS 183L
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define IDOK 1
#define IDCANCEL 2

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef const GUID& REFGUID;
typedef const GUID& REFIID;

struct IUnknown;
typedef IUnknown* LPUNKNOWN;

// DirectInput 8 (dinput.h).
#define DIRECTINPUT_VERSION 0x0800
#define MAX_PATH 260

#define DI_OK ((HRESULT)0L)
#define DIERR_INPUTLOST ((HRESULT)0x8007001EL)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000CL)
#define DIERR_INVALIDPARAM ((HRESULT)0x80070057L)
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015L)
#define DIERR_GENERIC ((HRESULT)0x80004005L)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154L)
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005L)
#define DIERR_ACQUIRED ((HRESULT)0x800700AAL)
#define DIERR_OBJECTNOTFOUND ((HRESULT)0x80070002L)
#define DIERR_NOINTERFACE ((HRESULT)0x80004002L)
#define DIERR_UNPLUGGED ((HRESULT)0x80040209L)
#define DIERR_NOTBUFFERED ((HRESULT)0x80040207L)
#define DI_NOEFFECT ((HRESULT)1L)
#define DI_BUFFEROVERFLOW ((HRESULT)1L)

#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

#define DI8DEVCLASS_GAMECTRL 4
#define DIEDFL_ATTACHEDONLY 0x00000001

#define DISCL_EXCLUSIVE 0x00000001
#define DISCL_NONEXCLUSIVE 0x00000002
#define DISCL_FOREGROUND 0x00000004
#define DISCL_BACKGROUND 0x00000008

#define DIDFT_ALL 0x00000000
#define DIDFT_RELAXIS 0x00000001
#define DIDFT_ABSAXIS 0x00000002
#define DIDFT_AXIS 0x00000003
#define DIDFT_PSHBUTTON 0x00000004
#define DIDFT_TGLBUTTON 0x00000008
#define DIDFT_BUTTON 0x0000000C
#define DIDFT_POV 0x00000010
#define DIDFT_ANYINSTANCE 0x00FFFF00
#define DIDFT_OPTIONAL 0x80000000
#define DIDFT_MAKEINSTANCE(n) ((WORD)(n) << 8)

#define DIPH_DEVICE 0
#define DIPH_BYOFFSET 1
#define DIPH_BYID 2

#define DIDF_ABSAXIS 0x00000001
#define DIDF_RELAXIS 0x00000002

#define DIDOI_ASPECTPOSITION 0x00000100

#define DIK_ESCAPE 0x01
#define DIK_RETURN 0x1C
#define DIK_LCONTROL 0x1D
#define DIK_A 0x1E
#define DIK_S 0x1F
#define DIK_TAB 0x0F
#define DIK_LSHIFT 0x2A
#define DIK_Z 0x2C
#define DIK_RSHIFT 0x36
#define DIK_LMENU 0x38
#define DIK_SPACE 0x39
#define DIK_CAPITAL 0x3A
#define DIK_F1 0x3B
#define DIK_F2 0x3C
#define DIK_F3 0x3D
#define DIK_F4 0x3E
#define DIK_F5 0x3F
#define DIK_F6 0x40
#define DIK_F7 0x41
#define DIK_F8 0x42
#define DIK_F9 0x43
#define DIK_F10 0x44
#define DIK_NUMLOCK 0x45
#define DIK_F11 0x57
#define DIK_F12 0x58
#define DIK_F13 0x64
#define DIK_F14 0x65
#define DIK_F15 0x66
#define DIK_KANA 0x70
#define DIK_KANJI 0x94
#define DIK_RCONTROL 0x9D
#define DIK_RMENU 0xB8
#define DIK_UP 0xC8
#define DIK_LWIN 0xDB
#define DIK_RWIN 0xDC
#define DIK_APPS 0xDD
#define DIK_POWER 0xDE
#define DIK_SLEEP 0xDF

struct DIOBJECTDATAFORMAT {
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];
    BYTE rgbButtons[32];
};

#define DIJOFS_BUTTON(n) (offsetof(DIJOYSTATE, rgbButtons) + (n))

struct DIMOUSESTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
typedef const DIPROPHEADER* LPCDIPROPHEADER;

struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};

struct DIDEVICEOBJECTDATA {
    DWORD dwOfs;
    DWORD dwData;
    DWORD dwTimeStamp;
    DWORD dwSequence;
    UINT_PTR uAppData;
};
typedef DIDEVICEOBJECTDATA* LPDIDEVICEOBJECTDATA;

// DirectInput names its properties by small integers cast to GUID references; here they are
// real objects, so that a reference to one is a valid reference.
extern const GUID DIPROP_RANGE_GUID;
#define DIPROP_RANGE DIPROP_RANGE_GUID
extern const GUID DIPROP_BUFFERSIZE_GUID;
#define DIPROP_BUFFERSIZE DIPROP_BUFFERSIZE_GUID

extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;

struct DIDEVICEINSTANCEA {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    char tszInstanceName[MAX_PATH];
    char tszProductName[MAX_PATH];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
typedef DIDEVICEINSTANCEA* LPDIDEVICEINSTANCEA;
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;

struct DIDEVICEOBJECTINSTANCEA {
    DWORD dwSize;
    GUID guidType;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
    char tszName[MAX_PATH];
};
typedef const DIDEVICEOBJECTINSTANCEA* LPCDIDEVICEOBJECTINSTANCEA;

typedef BOOL (*LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA, LPVOID);
typedef BOOL (*LPDIENUMDEVICEOBJECTSCALLBACKA)(LPCDIDEVICEOBJECTINSTANCEA, LPVOID);

struct IUnknown {
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

struct IDirectInputDevice8A : IUnknown {
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context,
                                DWORD flags) = 0;
    virtual HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT Poll() = 0;
    virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
    virtual HRESULT GetDeviceData(DWORD size, LPDIDEVICEOBJECTDATA data, DWORD* count,
                                  DWORD flags) = 0;
    virtual HRESULT GetDeviceInfo(LPDIDEVICEINSTANCEA instance) = 0;

  protected:
    ~IDirectInputDevice8A() = default;
};
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;

struct IDirectInput8A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device,
                                 LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                DWORD flags) = 0;

  protected:
    ~IDirectInput8A() = default;
};
typedef IDirectInput8A* LPDIRECTINPUT8A;

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out,
                           LPUNKNOWN outer);

#endif
