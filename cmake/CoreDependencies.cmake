# Libraries the core links besides the standard library: FFmpeg's libraries for the
# re-encoder's encoder engine, and pugixml to read the encoder session file back.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MENDERY_FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample)
pkg_check_modules(MENDERY_PUGIXML REQUIRED IMPORTED_TARGET pugixml)
find_package(Threads REQUIRED)
target_link_libraries(mendery_core PUBLIC PkgConfig::MENDERY_FFMPEG PkgConfig::MENDERY_PUGIXML Threads::Threads)
