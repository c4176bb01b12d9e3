#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <map>

#include "os/win32/WideText.h"
#include "recorder/win32/ServiceAccount.h"
#include "recorder/win32/ServiceNames.h"

namespace {

std::string SidText(const std::vector<BYTE>& sid) {
    wchar_t* text = nullptr;
    if (sid.empty() || !ConvertSidToStringSidW(const_cast<BYTE*>(sid.data()), &text)) {
        return {};
    }
    std::string result = Utf8FromWide(text);
    LocalFree(text);
    return result;
}

}  // namespace

TEST(ServiceAccountTest, SidIsTheOneWindowsDerivesFromTheName) {
    // A service whose SID every Windows shows (sc showsid): case does not matter.
    const std::string trustedInstaller =
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    EXPECT_EQ(SidText(serviceaccount::AccountSid(L"TrustedInstaller")), trustedInstaller);
    EXPECT_EQ(SidText(serviceaccount::AccountSid(L"trustedinstaller")), trustedInstaller);
    EXPECT_NE(SidText(serviceaccount::AccountSid(L"orvex-recorder")),
              SidText(serviceaccount::AccountSid(L"orvex-recorder@a")));
    EXPECT_TRUE(IsValidSid(serviceaccount::AccountSid(L"orvex-recorder").data()));
}

TEST(ServiceAccountTest, InstanceNamesFitServiceAccountAndFolderNames) {
    for (const std::string good : {std::string("a"), std::string("hala-2"),
                                   std::string("Stacja_3.b"), std::string(64, 'x')}) {
        EXPECT_TRUE(servicenames::ValidInstance(good)) << good;
    }
    for (const std::string bad : {std::string(), std::string("."), std::string(".."),
                                  std::string("a/b"), std::string("a\\b"), std::string("a b"),
                                  std::string("łąka"), std::string("a@b"), std::string(65, 'x')}) {
        EXPECT_FALSE(servicenames::ValidInstance(bad)) << bad;
    }
    EXPECT_EQ(servicenames::ServiceName(""), L"orvex-recorder");
    EXPECT_EQ(servicenames::ServiceName("hala"), L"orvex-recorder@hala");
}

namespace {

// The folder's allowed rights per account, and whether it inherits from its parent.
std::map<std::string, DWORD> Allowed(const std::filesystem::path& folder, bool& isProtected) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::map<std::string, DWORD> rights;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return rights;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(acl, i, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const std::vector<BYTE> sid(
                reinterpret_cast<BYTE*>(&ace->SidStart),
                reinterpret_cast<BYTE*>(&ace->SidStart) + GetLengthSid(&ace->SidStart));
            rights[SidText(sid)] |= ace->Mask;
        }
    }
    LocalFree(descriptor);
    return rights;
}

}  // namespace

TEST(ServiceAccountTest, OwnFolderLetsTheServiceWriteAndUsersOnlyRead) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("orvex-service-acl-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::vector<BYTE> sid = serviceaccount::AccountSid(L"orvex-recorder@test");
    ASSERT_EQ(serviceaccount::GrantFolder(folder, sid, true), "");
    bool isProtected = false;
    const std::map<std::string, DWORD> rights = Allowed(folder, isProtected);
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(isProtected);
    const DWORD service = rights.count(SidText(sid)) ? rights.at(SidText(sid)) : 0;
    EXPECT_EQ(service & FILE_GENERIC_WRITE, static_cast<DWORD>(FILE_GENERIC_WRITE));
    EXPECT_EQ(service & DELETE, static_cast<DWORD>(DELETE));
    const DWORD users = rights.count("S-1-5-32-545") ? rights.at("S-1-5-32-545") : 0;
    EXPECT_EQ(users & FILE_GENERIC_READ, static_cast<DWORD>(FILE_GENERIC_READ));
    EXPECT_EQ(users & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE), 0u);
    EXPECT_TRUE(rights.count("S-1-5-18"));      // SYSTEM
    EXPECT_TRUE(rights.count("S-1-5-32-544"));  // administrators
    EXPECT_EQ(rights.size(), 4u);
}
