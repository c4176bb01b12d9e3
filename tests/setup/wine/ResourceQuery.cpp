// Test tool: what Windows reads from an .exe's resources, through the same calls Explorer and the
// loader use. Prints key=value lines, then the manifest after a line "manifest:".
//   orvex_wine_resources EXE
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

void PrintVersion(const char* key, DWORD high, DWORD low) {
    std::printf("%s=%u.%u.%u.%u\n", key, static_cast<unsigned>(HIWORD(high)),
                static_cast<unsigned>(LOWORD(high)), static_cast<unsigned>(HIWORD(low)),
                static_cast<unsigned>(LOWORD(low)));
}

BOOL CALLBACK CountIcon(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR count) {
    if (IS_INTRESOURCE(name)) {
        std::printf("icon_group=#%u\n", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
    } else {
        std::printf("icon_group=%s\n", Utf8(name).c_str());
    }
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex_wine_resources EXE\n");
        return 2;
    }
    const wchar_t* exe = argv[1];
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
    if (size == 0) {
        std::printf("version_error=%lu\n", GetLastError());
    } else {
        std::vector<BYTE> info(size);
        GetFileVersionInfoW(exe, 0, size, info.data());
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
            PrintVersion("fixed_file", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
            PrintVersion("fixed_product", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        }
        // The block Explorer reads: the first language and code page the file names.
        struct Translation {
            WORD language;
            WORD codePage;
        }* translation = nullptr;
        if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length) &&
            length >= sizeof *translation) {
            std::printf("translation=%04x%04x\n", translation->language, translation->codePage);
            for (const wchar_t* key :
                 {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                  L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
                wchar_t path[128];
                swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                         translation->codePage, key);
                wchar_t* value = nullptr;
                if (VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &length)) {
                    std::printf("%s=%s\n", Utf8(key).c_str(), Utf8(value).c_str());
                }
            }
        }
    }

    HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("load_error=%lu\n", GetLastError());
        return 1;
    }
    int icons = 0;
    const auto* iconGroupType = MAKEINTRESOURCEW(14);  // RT_GROUP_ICON
    EnumResourceNamesW(module, iconGroupType, CountIcon, reinterpret_cast<LONG_PTR>(&icons));
    std::printf("icon_groups=%d\n", icons);
    // The first icon group is the file's icon; ExtractIconEx reads the same one.
    std::printf("extracted_icons=%u\n", ExtractIconExW(exe, -1, nullptr, nullptr, 0));
    const auto* manifestType = MAKEINTRESOURCEW(24);  // RT_MANIFEST
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), manifestType);
    if (manifest != nullptr) {
        const DWORD bytes = SizeofResource(module, manifest);
        const void* data = LockResource(LoadResource(module, manifest));
        std::printf("manifest:\n");
        std::fflush(stdout);
        std::fwrite(data, 1, bytes, stdout);
    }
    FreeLibrary(module);
    return 0;
}
