# The core links the standard library, Threads and libdl only. The re-encoder's encoder engine
# (convert/encoder/, on FFmpeg's libraries and pugixml) is a plugin loaded at run time, so the
# other tools never map the codec libraries.
find_package(Threads REQUIRED)
target_link_libraries(mendery_core PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

find_package(PkgConfig REQUIRED)
pkg_check_modules(MENDERY_FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample)
pkg_check_modules(MENDERY_PUGIXML REQUIRED IMPORTED_TARGET pugixml)

file(GLOB MENDERY_ENCODER_SOURCES CONFIGURE_DEPENDS convert/encoder/*.cpp)
list(FILTER MENDERY_ENCODER_SOURCES EXCLUDE REGEX "Plugin\\.cpp$")
add_library(mendery_encoder_impl STATIC ${MENDERY_ENCODER_SOURCES})
target_link_libraries(mendery_encoder_impl PUBLIC mendery_core PkgConfig::MENDERY_FFMPEG PkgConfig::MENDERY_PUGIXML)

add_library(mendery-encoder MODULE convert/encoder/Plugin.cpp)
target_link_libraries(mendery-encoder PRIVATE mendery_encoder_impl)
set_target_properties(mendery-encoder PROPERTIES PREFIX "lib" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  CXX_VISIBILITY_PRESET hidden)
