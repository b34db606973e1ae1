# The -posix compilers carry winpthreads, which std::thread and std::mutex need
# with GCC 12; it is linked statically, so the exe needs only Windows' own DLLs.
set(CMAKE_C_COMPILER ${TARNVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARNVEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
