#pragma once
#include <filesystem>
#include <string>

// The path as the wide Win32 file calls should get it: unchanged up to the length where Windows
// would refuse it, beyond that its full, normalised form after \\?\ (\\?\UNC\ for a share),
// which is not bound to MAX_PATH. Device and already-prefixed paths are left as they are.
std::wstring LongPath(const std::filesystem::path& path);
