#pragma once

// The web page about Zelvio that the information dialog's link opens. A distributor who
// publishes such a page sets its address here.
inline constexpr char kZelvioUrl[] = "https://zelvio.example.org/";
