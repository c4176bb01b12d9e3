#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <shellapi.h>
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
    for (const std::string& good : {std::string("a"), std::string("hala-2"),
                                    std::string("Stacja_3.b"), std::string(64, 'x')}) {
        EXPECT_TRUE(servicenames::ValidInstance(good)) << good;
    }
    for (const std::string& bad : {std::string(), std::string("."), std::string(".."),
                                   std::string("a/b"), std::string("a\\b"), std::string("a b"),
                                   std::string("łąka"), std::string("a@b"), std::string(65, 'x')}) {
        EXPECT_FALSE(servicenames::ValidInstance(bad)) << bad;
    }
    EXPECT_EQ(servicenames::ServiceName(""), L"orvex-recorder");
    EXPECT_EQ(servicenames::ServiceName("hala"), L"orvex-recorder@hala");
}

namespace {

struct Entry {
    DWORD rights = 0;
    bool inherited = false;  // to files and subfolders
};

// The allowed rights per account in an access list.
std::map<std::string, Entry> Allowed(PACL acl) {
    std::map<std::string, Entry> entries;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(acl, i, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* start = reinterpret_cast<BYTE*>(&ace->SidStart);
            Entry& entry = entries[SidText({start, start + GetLengthSid(start)})];
            entry.rights |= ace->Mask;
            entry.inherited =
                (ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        }
    }
    return entries;
}

constexpr const char* kUsers = "S-1-5-32-545";
constexpr DWORD kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE;

}  // namespace

TEST(ServiceAccountTest, FolderAccessLetsTheServiceWriteAndUsersOnlyRead) {
    const std::vector<BYTE> sid = serviceaccount::AccountSid(L"orvex-recorder@test");
    const std::string service = SidText(sid);
    std::string problem;
    PACL own = serviceaccount::FolderAcl(sid, true, nullptr, problem);
    ASSERT_NE(own, nullptr) << problem;
    std::map<std::string, Entry> entries = Allowed(own);
    LocalFree(own);
    EXPECT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[service].rights & (FILE_GENERIC_WRITE | DELETE),
              static_cast<DWORD>(FILE_GENERIC_WRITE | DELETE));
    EXPECT_EQ(entries[kUsers].rights & FILE_GENERIC_READ, static_cast<DWORD>(FILE_GENERIC_READ));
    EXPECT_EQ(entries[kUsers].rights & kWriting, 0u);
    for (const char* admin : {"S-1-5-18", "S-1-5-32-544"}) {  // SYSTEM, administrators
        EXPECT_NE(entries[admin].rights, 0u) << admin;
    }
    for (const auto& [account, entry] : entries) {
        EXPECT_TRUE(entry.inherited) << account;  // the recordings and subfolders get it too
    }

    // Another folder keeps its entries: here one that lets users write, which stays theirs.
    std::string users(kUsers);
    PSID usersSid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA(users.c_str(), &usersSid));
    EXPLICIT_ACCESS_A write{};
    write.grfAccessPermissions = FILE_GENERIC_WRITE;
    write.grfAccessMode = GRANT_ACCESS;
    write.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    write.Trustee.ptstrName = static_cast<LPSTR>(usersSid);
    PACL base = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, &write, nullptr, &base), static_cast<DWORD>(ERROR_SUCCESS));
    PACL merged = serviceaccount::FolderAcl(sid, false, base, problem);
    ASSERT_NE(merged, nullptr) << problem;
    entries = Allowed(merged);
    LocalFree(merged);
    LocalFree(base);
    LocalFree(usersSid);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[service].rights & FILE_GENERIC_WRITE, static_cast<DWORD>(FILE_GENERIC_WRITE));
    EXPECT_EQ(entries[kUsers].rights & FILE_WRITE_DATA, static_cast<DWORD>(FILE_WRITE_DATA));
}

TEST(ServiceAccountTest, CommandLineArgumentsSplitBackAsTheyWere) {
    // Split by the system's own rules, as the service's command line is.
    const std::vector<std::wstring> args{L"C:\\Program Files\\orvex\\orvex-recorder.exe",
                                         L"C:\\",
                                         L"D:\\stacja łąka\\",
                                         L"a\"b",
                                         L"a\\\"b",
                                         L"\\\\serwer\\udział\\orvex"};
    std::wstring line;
    for (const std::wstring& arg : args) {
        line += servicenames::QuotedArgument(arg) + L" ";
    }
    int count = 0;
    wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(split, nullptr);
    const std::vector<std::wstring> back(split, split + count);
    LocalFree(split);
    EXPECT_EQ(back, args);
}
