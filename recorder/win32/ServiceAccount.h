#pragma once
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

// The virtual account a service runs under, NT SERVICE\<name>, and its folder's access.
namespace serviceaccount {

std::wstring AccountName(const std::wstring& serviceName);
// S-1-5-80-..., derived from the name as Windows derives it (a SHA-1 of the upper-case name),
// so it is known before the service exists; empty when the hash failed.
std::vector<BYTE> AccountSid(const std::wstring& serviceName);
// The access list GrantFolder sets: base's entries (ignored for an own folder) and those below;
// LocalFree it. Null, with the problem, when it could not be made.
PACL FolderAcl(const std::vector<BYTE>& sid, bool ownFolder, PACL base, std::string& problem);
// Lets the account change the folder's contents and users read them. A folder of the service's
// own gets exactly that (with SYSTEM and the administrators), inheriting nothing that would let
// users write there; another folder keeps its entries and gains these two. Empty, or why not.
std::string GrantFolder(const std::filesystem::path& folder, const std::vector<BYTE>& sid,
                        bool ownFolder);

}  // namespace serviceaccount
