# Warnings, sanitizers and hardening shared by every target of the project.
add_compile_options(-Wall -Wextra)
if(QUILLON_WERROR)
  add_compile_options(-Werror)
endif()

if(QUILLON_SANITIZE AND QUILLON_TSAN)
  message(FATAL_ERROR "QUILLON_SANITIZE and QUILLON_TSAN exclude each other")
endif()

if(QUILLON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QUILLON_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Line and branch coverage (`make coverage`): gcc's instrumentation, read back by gcovr. The counters
# are updated atomically: the deflating threads bump the same ones, and lost updates give negative
# branch counts that gcovr refuses to read.
option(QUILLON_COVERAGE "Build with gcc's coverage instrumentation" OFF)
if(QUILLON_COVERAGE)
  add_compile_options(--coverage -fno-inline -fprofile-update=atomic)
  add_link_options(--coverage)
endif()
