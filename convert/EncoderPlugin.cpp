#include <dlfcn.h>

#include <filesystem>

#include "convert/EncoderEngine.h"

namespace mendery {

namespace {
std::string PluginPath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ((ec ? std::filesystem::path(".") : exe.parent_path()) / kEncoderPluginName).string();
}
}  // namespace

std::unique_ptr<IMediaEncoderEngine> LoadEncoderEngine(std::string* whyNot) {
    // Loaded once and kept for the program's life, like a registered encoder component.
    static void* handle = nullptr;
    static std::string loadError;
    if (!handle && loadError.empty()) {
        handle = ::dlopen(PluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) loadError = ::dlerror();
    }
    if (!handle) {
        if (whyNot) *whyNot = loadError;
        return nullptr;
    }
    using Create = IMediaEncoderEngine* (*)();
    auto create = reinterpret_cast<Create>(::dlsym(handle, kEncoderPluginEntry));
    if (!create) {
        if (whyNot) *whyNot = std::string(kEncoderPluginEntry) + " not found in " + kEncoderPluginName;
        return nullptr;
    }
    return std::unique_ptr<IMediaEncoderEngine>(create());
}

}  // namespace mendery
