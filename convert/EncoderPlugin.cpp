#include <dlfcn.h>


#include "convert/EncoderEngine.h"
#include "asf/BinaryFile.h"

namespace mendery {


std::unique_ptr<IMediaEncoderEngine> LoadEncoderEngine(std::string* whyNot) {
    // Loaded once and kept for the program's life, like a registered encoder component.
    static void* handle = nullptr;
    static std::string loadError;
    if (!handle && loadError.empty()) {
        const std::string path = RunningProgramFolder() + "/" + kEncoderPluginName;
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) loadError = "无法加载编码器插件 " + path + ": " + ::dlerror();
    }
    if (!handle) {
        if (whyNot) *whyNot = loadError;
        return nullptr;
    }
    using Create = IMediaEncoderEngine* (*)();
    auto create = reinterpret_cast<Create>(::dlsym(handle, kEncoderPluginEntry));
    if (!create) {
        if (whyNot) *whyNot = std::string("编码器插件 ") + kEncoderPluginName + " 中没有入口 " + kEncoderPluginEntry;
        return nullptr;
    }
    return std::unique_ptr<IMediaEncoderEngine>(create());
}

}  // namespace mendery
