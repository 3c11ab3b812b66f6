// The shipped x86 DLL's export and import tables, read from its file by a 64-bit test program:
// what a 32-bit host would find in it, checked where 32-bit code cannot run.
#include "com_testkit.h"
#include "com_image.h"

using namespace rud::comtest;

namespace {

TEST(ShippedImage, ExportsExactlyTheFourEntryPointsByNameWithOrdinalsOneToFour) {
    MappedImage file(ServerPath());
    ASSERT_TRUE(file.module) << "cannot map " << rud::narrow(ServerPath());
    EXPECT_FALSE(file.Image().Wide());
    EXPECT_EQ(ExpectTheFourExports(file.Image(), IMAGE_FILE_MACHINE_I386).size(), 4u);
}

TEST(ShippedImage, ImportsOnlyWindowsSystemDlls) {
    MappedImage file(ServerPath());
    ASSERT_TRUE(file.module) << "cannot map " << rud::narrow(ServerPath());
    // The 32-bit system folder, where a 32-bit process finds them.
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemWow64DirectoryW(system, MAX_PATH), 0u);
    ExpectOnlySystemImports(file.Image(), system);
}

} // namespace
