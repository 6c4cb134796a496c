# Compile and link settings shared by every target. Written for both mingw-w64 and MSVC;
# only the mingw-w64 path is built and tested on this project's machines.

add_library(quillmix_options INTERFACE)
target_compile_definitions(quillmix_options INTERFACE
  WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)
target_include_directories(quillmix_options INTERFACE ${PROJECT_SOURCE_DIR})

if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  target_compile_options(quillmix_options INTERFACE /W4 /permissive- /utf-8)
  set(QUILLMIX_WERROR /WX)
else()
  target_compile_options(quillmix_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor)
  set(QUILLMIX_WERROR -Werror)
  # Product code is small and spends its time in Win32 calls: optimise for size, give every
  # function and datum a section of its own so the linker can drop what the .scr never
  # reaches, and skip the locks around local statics (only the main thread has any;
  # the thread of the input watch uses none).
  set(QUILLMIX_LEAN_COMPILE -Os -ffunction-sections -fdata-sections -fno-threadsafe-statics)
endif()

# Product code: warnings are errors.
function(quillmix_library target)
  target_link_libraries(${target} PUBLIC quillmix_options)
  target_compile_options(${target} PRIVATE ${QUILLMIX_WERROR} ${QUILLMIX_LEAN_COMPILE})
endfunction()

# A shipped executable: static C and C++ runtimes, so it imports only system DLLs; unused
# sections dropped and the symbols stripped, so it ships lean.
function(quillmix_product target)
  target_link_libraries(${target} PRIVATE quillmix_options)
  target_compile_options(${target} PRIVATE ${QUILLMIX_WERROR} ${QUILLMIX_LEAN_COMPILE})
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
      -Wl,--gc-sections -s)
  elseif(MSVC)
    # The manifest comes from the resource script.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
