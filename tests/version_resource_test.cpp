// The version resource that Explorer shows in the program's properties: the same .rc
// object is linked into this test, so its own resources are the game's.
#include "support.h"
#include <stdio.h>

// The VERSIONINFO block of this program, copied out with room to spare: VerQueryValueA
// converts the Unicode strings into space past the end of the block.
static std::vector<char> versionBlock()
{
    HRSRC found = FindResourceA(0, MAKEINTRESOURCEA(1), (LPCSTR)RT_VERSION);
    if (!found) return {};
    DWORD size = SizeofResource(0, found);
    const char* data = (const char*)LockResource(LoadResource(0, found));
    if (!data || size == 0) return {};
    std::vector<char> block(size * 3);
    memcpy(block.data(), data, size);
    return block;
}

static testing::AssertionResult versionString(const char* name, std::string* value)
{
    std::vector<char> block = versionBlock();
    if (block.empty()) return testing::AssertionFailure() << "no VERSIONINFO resource with id 1";
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* text = 0;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), (void**)&text, &length) || !text)
        return testing::AssertionFailure() << "no " << path << " in the version resource";
    *value = text;
    return testing::AssertionSuccess();
}

// The numbers Windows compares when installing over an older copy must say the same
// version as the texts Explorer shows and the release archives are named after.
TEST(VersionResource, FixedNumbersMatchTheVersionTextsAndTheNamesAreFilledIn)
{
    std::vector<char> block = versionBlock();
    ASSERT_FALSE(block.empty());
    VS_FIXEDFILEINFO* fixed = 0;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void**)&fixed, &length) && fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const WORD numbers[] = { TUNEGRIN_VERSION_NUMBERS };
    EXPECT_EQ(fixed->dwProductVersionMS, (DWORD)MAKELONG(numbers[1], numbers[0]));
    EXPECT_EQ(fixed->dwProductVersionLS, (DWORD)MAKELONG(numbers[3], numbers[2]));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    char text[32];
    snprintf(text, sizeof text, "%u.%u.%u", (unsigned)HIWORD(fixed->dwFileVersionMS),
             (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS));
    for (const char* name : { "ProductVersion", "FileVersion" }) {
        std::string shown;
        ASSERT_TRUE(versionString(name, &shown));
        EXPECT_EQ(shown, text) << name;
    }
    EXPECT_EQ(std::string(text), TUNEGRIN_VERSION_TEXT) << "the archives' name";
    std::string description, original;
    ASSERT_TRUE(versionString("FileDescription", &description));
    EXPECT_FALSE(description.empty());
    ASSERT_TRUE(versionString("OriginalFilename", &original));
    EXPECT_EQ(original, "tunegrin.exe");
}
