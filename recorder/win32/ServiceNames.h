#pragma once
#include <filesystem>
#include <string>

// The names and places of one installed recorder service: the default one, or an instance NAME
// beside it.
namespace servicenames {

inline constexpr const wchar_t* kDefaultName = L"orvex-recorder";

// "orvex-recorder", or "orvex-recorder@NAME".
std::wstring ServiceName(const std::string& instance);
// Letters, digits, '.', '_' and '-', up to 64: the name goes into a service name, an account
// name and a folder name.
bool ValidInstance(const std::string& instance);
// %ProgramData%\orvex, or %ProgramData%\orvex\NAME; empty when ProgramData is not set.
std::filesystem::path DefaultFolder(const std::string& instance);

// One argument of the service's command line, quoted so that the C runtime splits it back as it
// was (a program path with spaces must not be taken for a shorter one).
std::wstring QuotedArgument(const std::wstring& arg);

}  // namespace servicenames
