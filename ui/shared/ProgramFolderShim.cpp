// Stand-in until the engine's own programFolder() lands.
#include <filesystem>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif
namespace folder2pdf {
std::string programFolder() {
#ifdef _WIN32
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    auto u8 = std::filesystem::path(path).parent_path().generic_u8string();
    return std::string(u8.begin(), u8.end());
#else
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
#endif
}
}  // namespace folder2pdf
