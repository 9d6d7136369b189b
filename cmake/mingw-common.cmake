set(CMAKE_C_COMPILER ${VX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Statically linked: the executables need no mingw runtime DLL next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
