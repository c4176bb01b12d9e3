#include "recorder/win32/ServiceAccount.h"

#include <aclapi.h>
#include <bcrypt.h>

#include <array>

#include "os/FileErrorCodes.h"
#include "recorder/RecorderLog.h"

namespace serviceaccount {
namespace {

bool Sha1(const void* data, ULONG size, std::array<BYTE, 20>& digest) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0) != 0) {
        return false;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    done = done &&
           BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0) == 0 &&
           BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) {
        return {};
    }
    sid.resize(size);
    return sid;
}

EXPLICIT_ACCESS_W Grant(const std::vector<BYTE>& sid, DWORD rights) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(const_cast<BYTE*>(sid.data()));
    return access;
}

std::string SystemText(DWORD error) {
    return SystemErrorText(kErrorSystemBase + static_cast<int>(error));
}

}  // namespace

std::wstring AccountName(const std::wstring& serviceName) {
    return L"NT SERVICE\\" + serviceName;
}

std::vector<BYTE> AccountSid(const std::wstring& serviceName) {
    std::wstring upper = serviceName;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');  // the names are ASCII (ValidInstance)
        }
    }
    std::array<BYTE, 20> digest{};
    if (!Sha1(upper.data(), static_cast<ULONG>(upper.size() * sizeof(wchar_t)), digest)) {
        return {};
    }
    std::array<DWORD, 5> parts{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        parts[i] = digest[4 * i] | digest[4 * i + 1] << 8 | digest[4 * i + 2] << 16 |
                   static_cast<DWORD>(digest[4 * i + 3]) << 24;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    std::vector<BYTE> sid(GetSidLengthRequired(6));
    if (!InitializeSid(sid.data(), &nt, 6)) {
        return {};
    }
    *GetSidSubAuthority(sid.data(), 0) = SECURITY_SERVICE_ID_BASE_RID;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        *GetSidSubAuthority(sid.data(), static_cast<DWORD>(i + 1)) = parts[i];
    }
    return sid;
}

PACL FolderAcl(const std::vector<BYTE>& sid, bool ownFolder, PACL base, std::string& problem) {
    const std::vector<BYTE> users = WellKnownSid(WinBuiltinUsersSid);
    const std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
    const std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
    if (sid.empty() || users.empty() || system.empty() || admins.empty()) {
        problem = "the accounts' identifiers could not be made";
        return nullptr;
    }
    constexpr DWORD kModify =
        FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    constexpr DWORD kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    std::vector<EXPLICIT_ACCESS_W> entries{Grant(sid, kModify), Grant(users, kRead)};
    if (ownFolder) {
        entries.push_back(Grant(system, GENERIC_ALL));
        entries.push_back(Grant(admins, GENERIC_ALL));
        base = nullptr;
    }
    PACL acl = nullptr;
    const DWORD error =
        SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(), base, &acl);
    if (error != ERROR_SUCCESS) {
        problem = SystemText(error);
        return nullptr;
    }
    return acl;
}

std::string GrantFolder(const std::filesystem::path& folder, const std::vector<BYTE>& sid,
                        bool ownFolder) {
    PACL base = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ownFolder) {
        if (const DWORD error =
                GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &base, nullptr, &descriptor);
            error != ERROR_SUCCESS) {
            return SystemText(error);
        }
    }
    std::string problem;
    PACL acl = FolderAcl(sid, ownFolder, base, problem);
    if (acl != nullptr) {
        // A folder of its own inherits nothing: ProgramData lets users add files.
        const SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION | (ownFolder ? PROTECTED_DACL_SECURITY_INFORMATION : 0);
        const DWORD error =
            SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT, what,
                                  nullptr, nullptr, acl, nullptr);
        if (error != ERROR_SUCCESS) {
            problem = SystemText(error);
        }
    }
    LocalFree(acl);
    LocalFree(descriptor);
    return problem;
}

}  // namespace serviceaccount
