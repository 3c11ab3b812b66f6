#pragma once
// The server's own identities: the class MyAddin, its default interface and the type library.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

// {FDCD0AAB-381C-45F3-890D-DBB1C91ACC17}
inline constexpr CLSID CLSID_MyAddin = {0xFDCD0AAB, 0x381C, 0x45F3, {0x89, 0x0D, 0xDB, 0xB1, 0xC9, 0x1A, 0xCC, 0x17}};
// {0D121486-DD87-4504-AF80-BB20CC24066B}
inline constexpr IID IID__MyAddin = {0x0D121486, 0xDD87, 0x4504, {0xAF, 0x80, 0xBB, 0x20, 0xCC, 0x24, 0x06, 0x6B}};
// {A09057A8-755A-40AA-ADCC-8141FD844168}
inline constexpr GUID LIBID_RuDerizIRA = {0xA09057A8, 0x755A, 0x40AA, {0xAD, 0xCC, 0x81, 0x41, 0xFD, 0x84, 0x41, 0x68}};

// The platform this build's code and type library are for, and its key below TypeLib\{...}\1.0\0.
#ifdef _WIN64
inline constexpr SYSKIND kTypeLibPlatform = SYS_WIN64;
inline constexpr wchar_t kTypeLibPlatformKey[] = L"win64";
#else
inline constexpr SYSKIND kTypeLibPlatform = SYS_WIN32;
inline constexpr wchar_t kTypeLibPlatformKey[] = L"win32";
#endif

inline constexpr wchar_t kProgId[] = L"RuDerizIRA.MyAddin";
inline constexpr wchar_t kClassDescription[] = L"VB6 Plinthar AddIn";

// The default interface: dual, with no members of its own.
struct _MyAddin : public IDispatch {};
__CRT_UUID_DECL(_MyAddin, 0x0D121486, 0xDD87, 0x4504, 0xAF, 0x80, 0xBB, 0x20, 0xCC, 0x24, 0x06, 0x6B)
