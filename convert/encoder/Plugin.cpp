// The entry point of libmendery-encoder.so.
#include "convert/encoder/DecodeCheck.h"
#include "convert/encoder/EncoderEngine.h"

extern "C" __attribute__((visibility("default"))) mendery::IMediaEncoderEngine* mendery_create_encoder_engine() {
    return new mendery::EncoderEngine();
}

// The independent decode check (convert/DecodeChecker.h).
extern "C" __attribute__((visibility("default"))) void mendery_check_decode(const char* path,
                                                                            const std::function<bool()>* stop,
                                                                            mendery::DecodeResult* result) {
    *result = mendery::RunDecodeCheck(path, stop ? *stop : std::function<bool()>{});
}
