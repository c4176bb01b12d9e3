#pragma once
#include <string>
#include <string_view>

// The text file's bytes for an in-memory UTF-8 text: Windows-1250. Every fixed text of the
// recording formats is representable, so nothing is lost.
std::string FileText(std::string_view utf8);
