#pragma once
// The export and import tables of a PE image laid out at its section addresses: a loaded module,
// or a DLL of another architecture mapped for reading (LOAD_LIBRARY_AS_IMAGE_RESOURCE), whose
// code never runs. Headers of either width (PE32 for x86, PE32+ for x64).
#include <gtest/gtest.h>
#include <windows.h>
#include "Raii.h"
#include "Text.h"
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace rud::comtest {

struct PeImage {
    const BYTE* base = nullptr;

    template <typename T> const T* At(DWORD rva) const { return reinterpret_cast<const T*>(base + rva); }
    const IMAGE_NT_HEADERS32* Nt32() const {
        return At<IMAGE_NT_HEADERS32>(static_cast<DWORD>(reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew));
    }
    const IMAGE_FILE_HEADER& File() const { return Nt32()->FileHeader; }
    bool Wide() const { return Nt32()->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC; }
    // The directories sit at different offsets in the two widths of optional header.
    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        if (Wide()) return reinterpret_cast<const IMAGE_NT_HEADERS64*>(Nt32())->OptionalHeader.DataDirectory[index];
        return Nt32()->OptionalHeader.DataDirectory[index];
    }
};

// A DLL file mapped as an image for its tables and resources only.
struct MappedImage {
    UniqueModule module;
    explicit MappedImage(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    // The handle of a module mapped this way carries flags in its low bits.
    PeImage Image() const {
        return {reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module.get()) & ~static_cast<ULONG_PTR>(3))};
    }
};

inline const char* const kServerExports[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                              "DllUnregisterServer"};

// Exactly the four entry points, by name, with ordinals 1 to 4 in name order; returns the
// address (RVA) each ordinal leads to.
inline std::vector<DWORD> ExpectTheFourExports(const PeImage& image, WORD machine) {
    std::vector<DWORD> rvas;
    EXPECT_EQ(image.File().Machine, machine);
    EXPECT_TRUE(image.File().Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (dir.VirtualAddress == 0) {
        ADD_FAILURE() << "no export table";
        return rvas;
    }
    auto exports = image.At<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
    EXPECT_STREQ(image.At<char>(exports->Name), "RuDerizIRA.dll");
    EXPECT_EQ(exports->Base, 1u);
    if (exports->NumberOfFunctions != 4u || exports->NumberOfNames != 4u) {
        ADD_FAILURE() << exports->NumberOfFunctions << " functions, " << exports->NumberOfNames << " names";
        return rvas;
    }
    auto names = image.At<DWORD>(exports->AddressOfNames);
    auto ordinals = image.At<WORD>(exports->AddressOfNameOrdinals);
    auto functions = image.At<DWORD>(exports->AddressOfFunctions);
    for (DWORD i = 0; i < 4; ++i) {
        // The name table is sorted; here that is also the ordinal order.
        EXPECT_STREQ(image.At<char>(names[i]), kServerExports[i]);
        EXPECT_EQ(ordinals[i] + exports->Base, i + 1) << kServerExports[i];
        EXPECT_NE(functions[ordinals[i]], 0u) << kServerExports[i];
        rvas.push_back(functions[ordinals[i]]);
    }
    return rvas;
}

// Imports only DLLs found in systemDir (the system folder of the image's architecture), no run
// time of the compiler's; returns them in lower case.
inline std::vector<std::string> ExpectOnlySystemImports(const PeImage& image, const std::wstring& systemDir) {
    std::vector<std::string> imported;
    const IMAGE_DATA_DIRECTORY& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (dir.VirtualAddress == 0) {
        ADD_FAILURE() << "no import table";
        return imported;
    }
    for (auto d = image.At<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress); d->Name != 0; ++d) {
        std::string name = image.At<char>(d->Name);
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        imported.push_back(lower);
        EXPECT_EQ(lower.find("gcc"), std::string::npos) << name;
        EXPECT_EQ(lower.find("stdc++"), std::string::npos) << name;
        EXPECT_EQ(lower.find("pthread"), std::string::npos) << name;
        std::wstring inSystem = systemDir + L"\\" + rud::widen(name);
        EXPECT_NE(GetFileAttributesW(inSystem.c_str()), INVALID_FILE_ATTRIBUTES) << name << " is not a system DLL";
    }
    EXPECT_NE(std::find(imported.begin(), imported.end(), std::string("kernel32.dll")), imported.end());
    EXPECT_NE(std::find(imported.begin(), imported.end(), std::string("oleaut32.dll")), imported.end());
    return imported;
}

} // namespace rud::comtest
