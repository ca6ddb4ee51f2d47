// The entry point of libmendery-encoder.so.
#include "convert/encoder/EncoderEngine.h"

extern "C" __attribute__((visibility("default"))) mendery::IMediaEncoderEngine* mendery_create_encoder_engine() {
    return new mendery::EncoderEngine();
}
