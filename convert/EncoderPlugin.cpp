#include <dlfcn.h>


#include "convert/EncoderEngine.h"
#include "engine/BinaryFile.h"

namespace mendery {


std::unique_ptr<IMediaEncoderEngine> LoadEncoderEngine(std::string* whyNot) {
    // Loaded once and kept for the program's life, like a registered encoder component.
    static void* handle = nullptr;
    static std::string loadError;
    if (!handle && loadError.empty()) {
        handle = ::dlopen((RunningProgramFolder() + "/" + kEncoderPluginName).c_str(), RTLD_NOW | RTLD_LOCAL);
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
