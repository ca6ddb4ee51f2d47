#include <dlfcn.h>


#include "convert/DecodeChecker.h"
#include "convert/EncoderEngine.h"
#include "asf/BinaryFile.h"

namespace mendery {

namespace {
// The plugin's handle: loaded once and kept for the program's life, like a registered encoder
// component. Null with the reason in `whyNot` when it cannot be loaded.
void* PluginHandle(std::string* whyNot) {
    static void* handle = nullptr;
    static std::string loadError;
    if (!handle && loadError.empty()) {
        const std::string path = RunningProgramFolder() + "/" + kEncoderPluginName;
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) loadError = "无法加载编码器插件 " + path + ": " + ::dlerror();
    }
    if (!handle && whyNot) *whyNot = loadError;
    return handle;
}

void* PluginEntry(const char* entry, std::string* whyNot) {
    void* handle = PluginHandle(whyNot);
    if (!handle) return nullptr;
    void* symbol = ::dlsym(handle, entry);
    if (!symbol && whyNot) *whyNot = std::string("编码器插件 ") + kEncoderPluginName + " 中没有入口 " + entry;
    return symbol;
}
}  // namespace

std::unique_ptr<IMediaEncoderEngine> LoadEncoderEngine(std::string* whyNot) {
    using Create = IMediaEncoderEngine* (*)();
    auto create = reinterpret_cast<Create>(PluginEntry(kEncoderPluginEntry, whyNot));
    if (!create) return nullptr;
    return std::unique_ptr<IMediaEncoderEngine>(create());
}

bool CheckDecode(const std::string& path, DecodeResult& result, const std::function<bool()>& stop, std::string* whyNot) {
    auto check = reinterpret_cast<DecodeCheckEntry>(PluginEntry(kDecodeCheckEntry, whyNot));
    if (!check) return false;
    check(path.c_str(), stop ? &stop : nullptr, &result);
    return true;
}

}  // namespace mendery
